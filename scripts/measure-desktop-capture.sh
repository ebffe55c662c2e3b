#!/usr/bin/env bash
# How fast `vexmor --capture` freezes the desktop on KDE Plasma or GNOME: a private headless KWin with
# the KDE portal (as tests/e2e/test_kde_capture.sh starts them) or GNOME Shell with the GNOME portal
# (as tests/e2e/test_gnome_portal.sh does, the screenshot permission granted beforehand), the program
# installed from a build directory with its desktop entry (which authorises KWin's ScreenShot2) and
# resident with /tray; then on KDE N captures through KWin's interface and N through the portal
# (VEXMOR_WAYLAND_GRAB=portal), on GNOME N through the portal, each timed from the
# command's start until the program reports the overlay's first frame flushed (the report is watched
# every few milliseconds, so a figure may be late by that much), beside the program's own figure from
# the request's arrival, and the portal's own round trip (its Screenshot call to its answer, as the
# bus saw them). Each capture is finished by a second command, and its saved picture removed.
# MEASURE_SHOW_TIMING=1 adds the program's own breakdown of each capture.
#
#   scripts/measure-desktop-capture.sh [--desktop kde|gnome] [--build DIR] [--screen WxH] [--captures N]
#
# Runs as root too: the compositor and its clients then run as `nobody`, as in the tests.
set -u
HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
SCREEN=1920x1080
CAPTURES=8
DESKTOP=kde
while [ $# -gt 0 ]; do
  case $1 in
    --desktop) DESKTOP=$2; shift 2 ;;
    --build) BUILD=$2; shift 2 ;;
    --screen) SCREEN=$2; shift 2 ;;
    --captures) CAPTURES=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
export VEXMOR_BIN="$BUILD/vexmor" VEXMOR_WL_PROBE="$BUILD/tests/vexmor_wl_probe"
source "$HERE/tests/e2e/lib.sh"
source "$HERE/tests/e2e/wayland_lib.sh"
[ "$DESKTOP" = kde ] || [ "$DESKTOP" = gnome ] || { echo "--desktop is kde or gnome" >&2; exit 2; }
e2e_init "measure-$DESKTOP"
wl_prepare
source "$HERE/tests/e2e/wayland_capture_lib.sh"
wl_background shown.png "$SCREEN"
wl_start_session_bus
wl_start_system_bus
start_bus_monitor "type='method_call',interface='org.freedesktop.portal.Screenshot'" \
  "type='signal',interface='org.freedesktop.portal.Request',member='Response'"
wl_install_program
if [ "$DESKTOP" = kde ]; then
  WL_ENV+=("XDG_DATA_DIRS=$WL_PREFIX/share:/usr/share")
  wl_start_kwin "$SCREEN"
  wl_start_kde_portal
  wl_run kbuildsycoca5 >/dev/null 2>&1
else
  wl_start_gnome "$SCREEN"
  wl_start_gnome_portal
  wl_grant_screenshots
fi
show_picture shown.png
settings 1
median() { sort -n | awk '{a[NR]=$1} END{if (NR) print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2); else print "-"}'; }
flushed() { grep -c "overlay flushed" "$E2E_DIR/vexmor.out"; }

run_path() { # LABEL ENV...
  local label=$1 i n t0 ms own walls=() owns=()
  shift
  : >"$E2E_DIR/vexmor.out"
  wl_spawn env VEXMOR_CAPTURE_TIMING=1 "$@" "$WL_VEXMOR" /tray >>"$E2E_DIR/vexmor.out" 2>&1
  local pid=$E2E_LAST_PID
  e2e_wait_for "the resident copy's socket" 30 bash -c 'compgen -G "$0/TVexmorMainForm-*" >/dev/null' "$XDG_RUNTIME_DIR"
  sleep 2
  for i in $(seq 1 "$CAPTURES"); do
    n=$(flushed)
    t0=$(date +%s%N)
    wl_run "$WL_VEXMOR" --capture
    while [ "$(flushed)" -le "$n" ]; do
      [ $(( ($(date +%s%N) - t0) / 1000000 )) -gt 20000 ] && break
      sleep 0.003
    done
    ms=$(( ($(date +%s%N) - t0) / 1000000 ))
    if [ "$(flushed)" -le "$n" ]; then
      echo "$label capture $i: no overlay within 20 s; the program said: $(tail -2 "$E2E_DIR/vexmor.out")"
      break
    fi
    own=$(grep "overlay flushed" "$E2E_DIR/vexmor.out" | tail -1 | awk '{print $4}')
    echo "$label capture $i: $ms ms from the command to the overlay's first frame (the program's own: $own ms)"
    walls+=("$ms")
    owns+=("$own")
    wl_run "$WL_VEXMOR" --capture
    e2e_wait_for "the saved capture" 20 bash -c 'compgen -G "$0/*.png" >/dev/null' "$DESK"
    sleep 0.5
    rm -f "$DESK"/*
  done
  echo "$label: first $((walls[0])) ms; median of the later captures $(printf '%s\n' "${walls[@]:1}" | median) ms" \
    "(the program's own $(printf '%s\n' "${owns[@]:1}" | median) ms)"
  [ -n "${MEASURE_SHOW_TIMING:-}" ] && grep "vexmor:" "$E2E_DIR/vexmor.out"
  kill -TERM "$pid"
  e2e_wait_exit "$pid" 10
}

[ "$DESKTOP" = kde ] && run_path kwin
run_path portal VEXMOR_WAYLAND_GRAB=portal
round_trips=$(/usr/bin/python3 - "$E2E_DIR/monitor.log" <<'PY'
import re, sys
calls, out = [], []
for line in open(sys.argv[1], errors='replace'):
    m = re.match(r'(method call|signal) time=([0-9.]+) .*member=(\w+)', line)
    if not m: continue
    if m.group(3) == 'Screenshot': calls.append(float(m.group(2)))
    elif m.group(3) == 'Response' and calls: out.append((float(m.group(2)) - calls.pop(0)) * 1000)
print(' '.join('%.0f' % ms for ms in out))
PY
)
echo "the portal's own round trip (Screenshot call to its answer): $round_trips ms;" \
  "median $(printf '%s\n' $round_trips | median) ms"
exit 0
