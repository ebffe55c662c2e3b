#!/usr/bin/env bash
# How fast `vexmor --capture` freezes the desktop on a Wayland compositor: a private headless sway
# (one output at the given size, a noise picture as its background), the program installed from a
# build directory and resident with /tray, then N captures, each timed by the test helper from the
# command's start to the first change of one output pixel (the tinted desktop on screen; the helper
# reads the pixel through the compositor's screen copy once per frame, so a figure may be late by up
# to one frame), each closed with Esc; then grim's own time for a picture of the same output, as the
# compositor's copy costs any client. Prints each figure and the medians (the first capture of a
# process sets up its windows and is shown apart). With --pause the program sits idle that many
# seconds before each capture.
#
#   scripts/measure-wayland-capture.sh [--build DIR] [--screen WxH] [--captures N] [--pause S]
#
# Runs as root too: the compositor and its clients then run as `nobody`, as in the tests.
set -u
HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
SCREEN=1920x1080
CAPTURES=8
PAUSE=1
while [ $# -gt 0 ]; do
  case $1 in
    --build) BUILD=$2; shift 2 ;;
    --screen) SCREEN=$2; shift 2 ;;
    --captures) CAPTURES=$2; shift 2 ;;
    --pause) PAUSE=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
export VEXMOR_BIN="$BUILD/vexmor" VEXMOR_WL_INPUT="$BUILD/tests/vexmor_wl_input"
source "$HERE/tests/e2e/lib.sh"
source "$HERE/tests/e2e/wayland_lib.sh"
e2e_init measure-wayland
wl_prepare
wl_background bg.png "$SCREEN"
wl_start_compositor 1 "output HEADLESS-1 resolution $SCREEN position 0 0 bg $WL_FILES/bg.png stretch"
wl_install_program
wl_input_start
wl_input move 600 600
helper=$(wl_copy_in "$VEXMOR_WL_INPUT")
wl_spawn env VEXMOR_CAPTURE_TIMING=1 "$WL_VEXMOR" /tray >"$E2E_DIR/vexmor.out" 2>&1
e2e_wait_for "the resident copy's socket" 30 bash -c 'compgen -G "$0/TVexmorMainForm-*" >/dev/null' "$XDG_RUNTIME_DIR"
sleep 1
overlay_gone() { [ "$(wl_overlay_windows)" = 0 ]; }
median() { sort -n | awk '{a[NR]=$1} END{if (NR) print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2); else print "-"}'; }

figures=()
for i in $(seq 1 "$CAPTURES"); do
  sleep "$PAUSE"
  out=$(wl_run "$helper" --watch 5 5 --timeout 10 -- "$WL_VEXMOR" --capture 2>&1)
  ms=$(echo "$out" | awk '$1 == "after" {print $2}')
  echo "capture $i: ${ms:-none} ms from the command to the frozen desktop on screen"
  figures+=("${ms:-9999}")
  wl_input key Escape
  e2e_wait_for "the overlay to go" 10 overlay_gone
done
grims=()
for i in $(seq 1 5); do
  t0=$(date +%s%N)
  wl_run grim -t ppm -o HEADLESS-1 - >/dev/null
  grims+=("$(( ($(date +%s%N) - t0) / 100000 ))")
done
echo "first capture: ${figures[0]} ms"
echo "median of the later captures: $(printf '%s\n' "${figures[@]:1}" | median) ms"
echo "grim (one picture of the output, PPM): median $(printf '%s\n' "${grims[@]}" | median | awk '{printf "%.1f", $1/10}') ms"
[ -n "${MEASURE_SHOW_TIMING:-}" ] && grep "vexmor:" "$E2E_DIR/vexmor.out"
exit 0
