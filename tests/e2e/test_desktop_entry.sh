#!/usr/bin/env bash
# The launcher: valid for desktop-file-validate, started without field codes it has no use for, and
# its four actions (capture now, the active window, the magnifier, in 5 s), each a command line the
# real program accepts, named in English and in Chinese.
source "$(dirname "$0")/lib.sh"
e2e_init desktop_entry
entry="$(cd "$(dirname "$0")/../.." && pwd)/data/vexmor.desktop"
out=$(desktop-file-validate "$entry" 2>&1)
status=$?
e2e_check "desktop-file-validate passes without a word (was $status: $out)" test "$status/$out" = "0/"

# "group|key|value" for every key of the file.
keys=$(awk '/^\[/{group=substr($0, 2, length($0) - 2); next}
  /^[^#].*=/{i=index($0, "="); print group "|" substr($0, 1, i - 1) "|" substr($0, i + 1)}' "$entry")
value() { sed -n "s/^$1|$2|//p" <<<"$keys"; }

e2e_check "the entry starts the program without arguments ($(value 'Desktop Entry' Exec))" \
  test "$(value 'Desktop Entry' Exec)" = vexmor

declare -A expected=(
  ["vexmor --capture"]="立即捕获屏幕"
  ["vexmor --capture=window"]="捕获活动窗口"
  ["vexmor --capture=magnifier"]="放大镜捕获"
  ["vexmor --capture --delay 5"]="5秒后捕获屏幕"
)
actions=$(value 'Desktop Entry' Actions)
IFS=';' read -r -a ids <<<"$actions"
e2e_check "four actions ($actions)" test "${#ids[@]}" = 4
seen=()
for id in "${ids[@]}"; do
  group="Desktop Action $id"
  exec_line=$(value "$group" Exec)
  seen+=("$exec_line")
  e2e_check "action $id: one of the four commands ($exec_line)" test -n "${expected[$exec_line]+x}"
  e2e_check "action $id: named '${expected[$exec_line]-}' in Chinese" \
    test "$(value "$group" 'Name\[zh_CN\]')" = "${expected[$exec_line]-?}"
  e2e_check "action $id: an English name" test -n "$(value "$group" Name)"
  # The program reads every option before --help wins, so an option it would refuse exits 2 here
  # and nothing starts.
  read -r -a words <<<"$exec_line"
  "$VEXMOR_BIN" "${words[@]:1}" --help >/dev/null 2>"$E2E_DIR/err"
  status=$?
  e2e_check "action $id: the program accepts its options (was $status: $(cat "$E2E_DIR/err"))" test "$status" = 0
done
e2e_check "each command once ($(printf '%s; ' "${seen[@]}"))" \
  test "$(printf '%s\n' "${seen[@]}" | sort -u | wc -l)" = 4
e2e_pass
