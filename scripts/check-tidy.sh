#!/usr/bin/env bash
# Runs clang-tidy with the committed .clang-tidy, through the build's compile database, over the C++
# sources changed against the merge base with main (committed or not, new files included), with the
# program's own headers. Every source takes about eight minutes on two cores; --all checks them all.
#   scripts/check-tidy.sh [--all] [--base REF] [BUILD_FOLDER]
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
folders='app|bench|capture|fuzz|gfx|output|platform|tests|thumb'
all=0 base=main build=build
while [ $# -gt 0 ]; do
  case $1 in
    --all) all=1 ;;
    --base) base=$2; shift ;;
    *) build=$1 ;;
  esac
  shift
done
build=$(cd "$build" 2>/dev/null && pwd) || { echo "check-tidy: no build folder" >&2; exit 1; }
command -v clang-tidy >/dev/null || { echo "check-tidy: clang-tidy is not installed (scripts/deps.sh)" >&2; exit 1; }
[ -f "$build/compile_commands.json" ] || { echo "check-tidy: $build has no compile_commands.json" >&2; exit 1; }

# The program's own sources the build compiles (not what it generates).
mapfile -t compiled < <(grep -o '"file": "[^"]*"' "$build/compile_commands.json" | cut -d'"' -f4 |
  grep -E "^$root/($folders)/" | grep -v "^$build/" | sort -u)
[ "${#compiled[@]}" -gt 0 ] || { echo "check-tidy: the compile database holds none of the sources" >&2; exit 1; }
if [ "$all" = 1 ]; then
  files=("${compiled[@]}")
else
  git rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo "check-tidy: not a git checkout, nothing to compare" >&2; exit 77; }
  git rev-parse -q --verify "$base^{commit}" >/dev/null || base=HEAD
  from=$(git merge-base HEAD "$base")
  # Changed sources the build compiles; a changed header through a compiled source that includes it,
  # one of its own folder where there is one.
  mapfile -t files < <({ git diff --name-only --diff-filter=d "$from" -- '*.cpp' '*.h'
                         git ls-files --others --exclude-standard -- '*.cpp' '*.h'; } |
    grep -E "^($folders)/" | sort -u | while read -r f; do
      case $f in
        *.h)
          mapfile -t users < <(grep -lF "#include \"$(basename "$f")\"" "${compiled[@]}")
          mine=$(printf '%s\n' "${users[@]}" | grep -m1 "^$root/$(dirname "$f")/[^/]*$")
          user=${mine:-${users[0]:-}}
          [ -n "$user" ] && echo "$user" ;;
        *) printf '%s\n' "${compiled[@]}" | grep -qxF "$root/$f" && echo "$root/$f" ;;
      esac
    done | sort -u)
  if [ "${#files[@]}" -eq 0 ]; then
    echo "check-tidy: no source changed against $base ($(git rev-parse --short "$from"))"
    exit 0
  fi
fi

if [ "$all" = 1 ]; then
  echo "check-tidy: every source (${#files[@]})"
else
  echo "check-tidy: changed against $base:" "${files[@]#"$root/"}"
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
printf '%s\n' "${files[@]}" |
  xargs -d '\n' -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet "--header-filter=^$root/($folders)/" \
    >"$log" 2>&1
status=$?
grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$log"
if [ "$status" -ne 0 ]; then
  echo "check-tidy: findings in the ${#files[@]} source(s) checked (see above)" >&2
  exit 1
fi
echo "check-tidy: ${#files[@]} source(s) clean"
