#!/usr/bin/env bash
# Many captures in a row, as a heavy user makes them: starts a private X server with a tray, runs
# `vexmor /tray` from a build directory and drives N captures with the capture key, every other one
# confirmed (saved to the desktop, the default copy to the clipboard included) and the rest cancelled.
# Then it compares the program with itself before the captures and after the first one:
#   - resident memory after the last capture against the figure after the first (target: within 15 MiB);
#   - open file descriptors and threads against their count before the first capture (they must come
#     back, given the time the program's own lingering helpers take, once another program has taken
#     the clipboard with its copy of the last capture);
#   - the desktop, work and temporary folders: only the pictures the confirmed captures asked for, and
#     in the history each confirmed capture (up to the 100 it keeps) with its thumbnail.
# Under a sanitizer build (--build build-asan) the program's report at exit is checked as well.
#
#   scripts/measure-load.sh [--build DIR] [--captures N] [--screen WxHxD]
#
# Prints one line per check and the figures; exits 1 when a descriptor, thread, file or sanitizer
# check fails (the memory figure is reported against its target, not failed on).
set -u

HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
CAPTURES=200
SCREEN=1920x1080x24
while [ $# -gt 0 ]; do
  case $1 in
  --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
  --captures) CAPTURES=$2; shift 2 ;;
  --screen) SCREEN=$2; shift 2 ;;
  -h | --help) sed -n '2,15p' "$0"; exit 0 ;;
  *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

export VEXMOR_BIN="$BUILD/vexmor"
[ -x "$VEXMOR_BIN" ] || { echo "no program at $VEXMOR_BIN" >&2; exit 1; }
source "$HERE/tests/e2e/lib.sh"
e2e_init measure-load
command -v trayer >/dev/null || e2e_fail "trayer is not installed (scripts/deps.sh)"

# The program's own temporary folder, so that whatever it leaves there is its own.
export TMPDIR="$E2E_DIR/tmp"
mkdir -p "$TMPDIR"
WORK="$XDG_DOCUMENTS_DIR"
DESK="$XDG_DESKTOP_DIR"
export ASAN_OPTIONS="detect_leaks=1:exitcode=23:log_path=$E2E_DIR/sanitizer"
export UBSAN_OPTIONS="print_stacktrace=1:log_path=$E2E_DIR/sanitizer"
export LSAN_OPTIONS="suppressions=$HERE/tests/lsan.supp:print_suppressions=0"

kib_to_mib() { awk -v k="$1" 'BEGIN{printf "%.1f", k / 1024}'; }
rss_kib() { awk '$1 == "Rss:" {print $2}' "/proc/$VEXMOR_PID/smaps_rollup"; }
fds() { ls "/proc/$VEXMOR_PID/fd" | wc -l; }
fd_targets() { for f in /proc/$VEXMOR_PID/fd/*; do readlink "$f"; done | sed 's/[0-9]\{3,\}/N/g' | sort; }
threads() { ls "/proc/$VEXMOR_PID/task" | wc -l; }
listing() { (cd "$1" && find . -mindepth 1 | sort); }
# The work folder's listing leaves out the history, which is checked for itself.
HISTORY="$WORK/我的视频捕获/history"
work_listing() {
  (cd "$WORK" && find . -mindepth 1 -not -path ./我的视频捕获 -not -path ./我的视频捕获/history \
    -not -path './我的视频捕获/history/*' | sort)
}
settle() {  # resident size unchanged for two seconds, at most 30
  local last="" same=0 r deadline=$((SECONDS + 30))
  while [ $SECONDS -lt $deadline ]; do
    r=$(rss_kib)
    if [ "$r" = "$last" ]; then same=$((same + 1)); [ $same -ge 8 ] && return; else same=0; last=$r; fi
    sleep 0.25
  done
}

e2e_start_x "$SCREEN"
e2e_spawn trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false
e2e_wait_for "the tray" 20 bash -c 'xwininfo -root -tree | grep -q "\"panel\""'
convert -size "${SCREEN%x*}" plasma:fractal -seed 5 -depth 8 "$E2E_DIR/desktop.png" 2>/dev/null &&
  display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
# Confirmed captures are saved to the desktop as JPEG and let go after the save.
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=1\nPurgeAfterOpBox=1\n' >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
log="$E2E_DIR/vexmor.log"
e2e_spawn "$VEXMOR_BIN" /tray 2>"$log"
VEXMOR_PID=$E2E_LAST_PID
e2e_wait_for "the main window" 60 e2e_main_windows
e2e_wait_for "the tray icon" 60 bash -c 'xwininfo -root -tree | awk "/\"panel\"/ {p = 1} p && /\"Vexmor\"/ {f = 1} END {exit !f}"'
settle
fds0=$(fds); threads0=$(threads); fdlist0=$(fd_targets)
tmp0=$(listing "$TMPDIR"); work0=$(work_listing)

saved=0
started=$SECONDS
for i in $(seq 1 "$CAPTURES"); do
  xdotool key Print
  e2e_wait_for "the overlay of capture $i" 60 e2e_overlay_shown
  if [ $((i % 2)) = 1 ]; then
    xdotool key Print  # the capture key on the overlay confirms the whole desktop
    e2e_wait_for "the overlay of capture $i to close" 60 e2e_overlay_gone
    e2e_wait_for "the picture of capture $i" 60 bash -c 'f=$(compgen -G "$0/*.jpg" | head -1) && identify "$f"' "$DESK"
    saved=$((saved + 1))
    rm -f "$DESK"/*.jpg  # the pictures asked for; anything else stays to be found
  else
    xdotool key Escape
    e2e_wait_for "the overlay of capture $i to close" 60 e2e_overlay_gone
  fi
  if [ "$i" = 1 ]; then settle; rss1=$(rss_kib); fi
  [ $((i % 50)) = 0 ] && e2e_log "capture $i of $CAPTURES, RSS $(kib_to_mib "$(rss_kib)") MiB"
done
elapsed=$((SECONDS - started))
settle
rss_last=$(rss_kib)
# The last confirmed capture's copy on the clipboard was asked for; another owner taking the
# clipboard lets it go.
echo taken >"$E2E_DIR/text"
e2e_spawn xclip -quiet -selection clipboard -i "$E2E_DIR/text" >/dev/null 2>&1
# Helpers that linger by design (the grab's kept buffer, pooled threads) go within 40 s of idle.
back() { [ "$(fds)" -le "$fds0" ] && [ "$(threads)" -le "$threads0" ]; }
e2e_poll 60 back
fds1=$(fds); threads1=$(threads)
[ "$fds1" -le "$fds0" ] || e2e_log "descriptors now open that were not before: $(comm -13 <(echo "$fdlist0") <(fd_targets) | tr '\n' ' ')"

echo "$CAPTURES captures on a ${SCREEN%x*} desktop in ${elapsed}s: $saved confirmed and saved, $((CAPTURES - saved)) cancelled"
growth=$((rss_last - rss1))
verdict=$([ "$growth" -le $((15 * 1024)) ] && echo met || echo "NOT met")
echo "resident memory: $(kib_to_mib "$rss1") MiB after the first capture, $(kib_to_mib "$rss_last") MiB after the last" \
  "(growth $(kib_to_mib "$growth") MiB; target within 15 MiB: $verdict)"
e2e_check "file descriptors back to $fds0 (now $fds1)" test "$fds1" -le "$fds0"
e2e_check "threads back to $threads0 (now $threads1)" test "$threads1" -le "$threads0"
e2e_check "nothing left in the temporary folder ($(listing "$TMPDIR" | tr '\n' ' '))" test "$(listing "$TMPDIR")" = "$tmp0"
e2e_check "nothing left in the work folder ($(work_listing | tr '\n' ' '))" test "$(work_listing)" = "$work0"
kept=$((saved < 100 ? saved : 100))
e2e_check "the history keeps the $kept newest confirmed captures with their thumbnails and nothing else ($(listing "$HISTORY" | wc -l) entries)" \
  test "$(find "$HISTORY" -name '*.png' ! -name '*.thumb.png' | wc -l) $(find "$HISTORY" -name '*.thumb.png' | wc -l) $(listing "$HISTORY" | wc -l)" = "$kept $kept $((2 * kept + 1))"
e2e_check "nothing but the saved pictures on the desktop ($(listing "$DESK" | tr '\n' ' '))" test -z "$(listing "$DESK")"

kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 60 || e2e_fail "the program did not end on SIGTERM"
e2e_check "ends with status 0 (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 0
reports=$(cat "$E2E_DIR"/sanitizer* 2>/dev/null)
if [ -n "$reports" ]; then
  echo "$reports" | head -60
fi
e2e_check "no sanitizer report at exit" test -z "$reports"
e2e_pass
