#!/usr/bin/env bash
# Checks that every C++ source in the repository is as clang-format (with the committed .clang-format)
# writes it, and names the files that are not. `scripts/check-format.sh --fix` rewrites them.
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed (scripts/deps.sh)" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.cpp' '*.h')
[ "${#files[@]}" -gt 0 ] || { echo "check-format: no sources found" >&2; exit 1; }
if [ "${1:-}" = --fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ "${#bad[@]}" -gt 0 ]; then
  echo "check-format: ${#bad[@]} file(s) not in the committed format (scripts/check-format.sh --fix rewrites them):" >&2
  printf '  %s\n' "${bad[@]}" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files in the committed format"
