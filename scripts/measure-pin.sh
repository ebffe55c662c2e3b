#!/usr/bin/env bash
# How fast a capture comes up pinned to the screen, as a user sees it: starts a private X server at
# the given size, runs `vexmor /tray` from a build directory and, N times, opens the overlay with
# `vexmor --capture`, paints the desktop below it one flat colour (the overlay still shows the frozen
# desktop), and then asks for the pin: with the overlay's pin key F (the whole desktop, since nothing
# is selected), or with --command by handing `vexmor --capture --pin` to the running copy, which
# confirms the open overlay and pins it. Each time is from the request to the pin on the screen: a
# root pixel (scripts/root-pixel-watch.py --until) showing the captured desktop's colour again where
# the flat colour showed once the overlay had gone. Each pin is closed with Esc. With
# VEXMOR_CAPTURE_TIMING set, the program's own lines split each time: from the request to the
# confirmation's composed capture (the same for every confirmation), and from the pin asked for (its
# wall-clock time) to the pin seen on the screen. Prints every time and the medians.
#
#   scripts/measure-pin.sh [--build DIR] [--screen WxH] [--runs N] [--command] [--at X Y]
#
# Everything it starts is stopped by PID when it ends.
set -u

HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
RUNS=10
SIZE=1920x1080
COMMAND=0
AT=(200 300)
while [ $# -gt 0 ]; do
  case $1 in
  --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
  --screen) SIZE=$2; shift 2 ;;
  --runs) RUNS=$2; shift 2 ;;
  --command) COMMAND=1; shift ;;
  --at) AT=("$2" "$3"); shift 3 ;;
  -h | --help) sed -n '2,14p' "$0"; exit 0 ;;
  *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

export VEXMOR_BIN="$BUILD/vexmor"
[ -x "$VEXMOR_BIN" ] || { echo "no program at $VEXMOR_BIN" >&2; exit 1; }
source "$HERE/tests/e2e/lib.sh"
e2e_init measure-pin

e2e_start_x "${SIZE}x24"
# A desktop that is not one flat colour, and the flat colour that replaces it below the overlay.
convert -size "$SIZE" plasma:fractal -seed 3 -depth 8 "$E2E_DIR/desktop.png" 2>/dev/null ||
  e2e_fail "no desktop picture"
FLAT=336699
want=$(convert "$E2E_DIR/desktop.png" -crop "1x1+${AT[0]}+${AT[1]}" -depth 8 txt:- |
  awk 'NR == 2 { sub(/^#/, "", $3); print substr($3, 1, 6) }')
[ -n "$want" ] && [ "$want" != "$FLAT" ] || e2e_fail "the watched pixel does not tell the pin from the desktop"
mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nCapCursorBox=0\n' >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"

export VEXMOR_CAPTURE_TIMING=1
LOG="$E2E_DIR/vexmor.log"
e2e_spawn bash -c 'exec "$VEXMOR_BIN" /tray 2>"$1"' vexmor "$LOG"
VEXMOR_PID=$E2E_LAST_PID
e2e_wait_for "the main window" 30 e2e_main_windows
sleep 2

if [ "$COMMAND" = 1 ]; then
  label="vexmor --capture --pin (handed to the running copy)"
  trigger=(--run "$VEXMOR_BIN" --capture --pin)
else
  label="the overlay's pin key F"
  trigger=(--key F)
fi
echo "request to pin on screen, $SIZE, $label ($VEXMOR_BIN)"
: >"$E2E_DIR/times"
for i in $(seq 1 "$RUNS"); do
  display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1
  "$VEXMOR_BIN" --capture
  e2e_wait_for "the overlay of run $i" 30 e2e_overlay_shown
  sleep 0.5
  xsetroot -solid "#$FLAT"
  sleep 0.3
  read -r t seen < <(python3 "$HERE/scripts/root-pixel-watch.py" --at "${AT[@]}" --until "$want" --close Escape \
    --timeout 20 --stamp "${trigger[@]}") && [ -n "${seen:-}" ] || e2e_fail "run $i: ${t:-no answer}"
  e2e_wait_for "the timing of run $i" 30 bash -c "[ \$(grep -c 'pin requested at' '$LOG') -ge $i ]"
  asked=$(grep 'pin requested at' "$LOG" | sed -n "${i}s/.* at \([0-9.]*\) s$/\1/p")
  composed=$(grep 'composed' "$LOG" | sed -n "${i}s/.*, composed \([0-9.]*\) ms later$/\1/p")
  pinned=$(awk -v a="$asked" -v b="$seen" 'BEGIN {printf "%.1f", (b - a) * 1000}')
  echo "$t $composed $pinned" >>"$E2E_DIR/times"
  printf 'run %3d: %7s ms (composed %s ms; pin asked for to on screen %s ms)\n' "$i" "$t" "$composed" "$pinned"
  e2e_wait_for "the overlay of run $i to be gone" 30 e2e_overlay_gone
  sleep 0.5
done
median() { sort -n | awk '{v[NR] = $1} END {if (NR) printf "%.1f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
echo "median: request to pin on screen $(cut -d' ' -f1 "$E2E_DIR/times" | median) ms;" \
  "composed $(cut -d' ' -f2 "$E2E_DIR/times" | median) ms; pin asked for to on screen $(cut -d' ' -f3 "$E2E_DIR/times" | median) ms"
kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "the program did not end on SIGTERM"
