#!/usr/bin/env bash
# Every script the README names as a command (./name.sh, scripts/name.sh) is there and executable as
# committed: a clone gets the mode git records (100755), not the one of the working copy. Outside a git
# checkout (an unpacked source archive) the file's own mode is checked.
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 1
scripts=$(grep -oE '(^|[^[:alnum:]_./-])(\./|scripts/)[[:alnum:]_./-]+\.sh' README.md |
  sed -E 's/^[^.s]//; s#^\./##' | sort -u)
[ -n "$scripts" ] || { echo "README.md names no script"; exit 1; }
git_checkout=0
git rev-parse --is-inside-work-tree >/dev/null 2>&1 && git_checkout=1
status=0
for script in $scripts; do
  if [ "$git_checkout" = 1 ]; then
    mode=$(git ls-files -s -- "$script" | awk '{print $1}')
    [ -n "$mode" ] || { echo "$script: named in README.md, not in the repository"; status=1; continue; }
    [ "$mode" = 100755 ] || { echo "$script: committed as $mode, not executable (git update-index --chmod=+x)"; status=1; }
  else
    [ -f "$script" ] || { echo "$script: named in README.md, missing"; status=1; continue; }
    [ -x "$script" ] || { echo "$script: not executable"; status=1; }
  fi
done
[ "$status" = 0 ] && echo "$(wc -w <<<"$scripts") scripts named in README.md, all executable"
exit "$status"
