#!/usr/bin/env bash
# How fast `vexmor --capture=last-region` puts the picture on the disk: starts a private X server at
# the given size, runs `vexmor /tray` from a build directory with "捕获后" saving to the desktop as
# PNG, outlines one rectangle on the overlay (the region to repeat: the whole screen unless --region
# says otherwise), then, N times, hands `vexmor --capture=last-region` to the running copy and times
# from just before the command starts to the new PNG on the desktop folder being whole (its IEND
# chunk written). The desktop changes between runs, so every run encodes a fresh picture: two windows
# of text on a plain background (--desktop windows, the default: what a screen mostly shows), or a
# plasma fractal (--desktop fractal: noise the PNG compressor can do little with, the worst case).
# The program's own timing lines (VEXMOR_CAPTURE_TIMING) split each time into the grab, the
# composition of the capture's images and the after-capture action (the PNG written). Prints every
# time and the medians.
#
#   scripts/measure-last-region.sh [--build DIR] [--screen WxH] [--region WxH] [--runs N]
#                                  [--desktop windows|fractal]
#
# Everything it starts is stopped by PID when it ends.
set -u

HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
RUNS=10
SIZE=1920x1080
REGION=
DESKTOP=windows
while [ $# -gt 0 ]; do
  case $1 in
  --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
  --screen) SIZE=$2; shift 2 ;;
  --region) REGION=$2; shift 2 ;;
  --runs) RUNS=$2; shift 2 ;;
  --desktop) DESKTOP=$2; shift 2 ;;
  -h | --help) sed -n '2,16p' "$0"; exit 0 ;;
  *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
REGION=${REGION:-$SIZE}

export VEXMOR_BIN="$BUILD/vexmor"
[ -x "$VEXMOR_BIN" ] || { echo "no program at $VEXMOR_BIN" >&2; exit 1; }
source "$HERE/tests/e2e/lib.sh"
e2e_init measure-last-region

e2e_start_x "${SIZE}x24"
W=${SIZE%x*} H=${SIZE#*x} RW=${REGION%x*} RH=${REGION#*x}
[ "$RW" -le "$W" ] && [ "$RH" -le "$H" ] || e2e_fail "the region $REGION is larger than the screen $SIZE"
mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\nTransPNGBox=0\nCapCursorBox=0\nAutoTitleBox=0\nAlwaysCBBox=0\nHistoryKeepSel=0\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
# The desktop of run $1, different for every run.
desktop() {
  if [ "$DESKTOP" = fractal ]; then
    convert -size "$SIZE" plasma:fractal -seed "$1" -depth 8 "$E2E_DIR/desktop.png" 2>/dev/null || return 1
  else
    local text
    text=$(python3 -c 'import random, sys
random.seed(int(sys.argv[1]))
words = "the quick brown fox jumps over a lazy dog region screen window settings history file edit view help".split()
print("\n".join(" ".join(random.choice(words) for _ in range(random.randint(6, 14))) for _ in range(45)))' "$1")
    convert -size "$SIZE" xc:'#3b4252' -fill '#eceff4' -draw 'rectangle 80,60 1100,900' \
      -fill '#d8dee9' -draw 'rectangle 80,60 1100,90' -fill '#2e3440' -draw 'rectangle 1150,120 1850,1000' \
      -fill black -font DejaVu-Sans -pointsize 14 -annotate +100+120 "$text" \
      -fill '#a3be8c' -font DejaVu-Sans-Mono -pointsize 13 -annotate +1170+150 "$text" \
      -depth 8 "$E2E_DIR/desktop.png" 2>/dev/null || return 1
  fi
  display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true
}
desktop 1 || e2e_fail "no desktop picture"

export VEXMOR_CAPTURE_TIMING=1
LOG="$E2E_DIR/vexmor.log"
e2e_spawn bash -c 'exec "$VEXMOR_BIN" /tray 2>"$1"' vexmor "$LOG"
VEXMOR_PID=$E2E_LAST_PID
e2e_wait_for "the main window" 30 e2e_main_windows

# The region: a Ctrl rectangle from the top-left corner, confirmed by the button's release.
"$VEXMOR_BIN" --capture
e2e_wait_for "the overlay" 30 e2e_overlay_shown
sleep 0.5
xdotool mousemove 0 0 keydown ctrl mousedown 1 mousemove $((RW / 2)) $((RH / 2)) \
  mousemove $((RW - 1)) $((RH - 1)) mouseup 1 keyup ctrl
e2e_wait_for "the region's picture" 30 bash -c '[ "$(compgen -G "$XDG_DESKTOP_DIR/*.png" | wc -l)" -ge 1 ]'
e2e_wait_for "the region remembered" 30 test -s "$XDG_CONFIG_HOME/Vexmor/last-region"
e2e_wait_for "the overlay to be gone" 30 e2e_overlay_gone

echo "vexmor --capture=last-region to the PNG written, screen $SIZE, region $REGION, $DESKTOP desktop ($VEXMOR_BIN)"
: >"$E2E_DIR/times"
for i in $(seq 1 "$RUNS"); do
  desktop $((i + 1))
  rm -f "$XDG_DESKTOP_DIR"/*.png
  sleep 0.5
  t=$(python3 - "$VEXMOR_BIN" "$XDG_DESKTOP_DIR" <<'PY'
import os, subprocess, sys, time
program, folder = sys.argv[1], sys.argv[2]
def whole():
    for name in os.listdir(folder):
        if not name.endswith(".png"):
            continue
        try:
            with open(os.path.join(folder, name), "rb") as f:
                f.seek(-12, os.SEEK_END)
                if f.read(12)[4:8] == b"IEND":
                    return True
        except OSError:
            pass
    return False
start = time.monotonic()
command = subprocess.Popen([program, "--capture=last-region"])
deadline = start + 30
while not whole():
    if time.monotonic() > deadline:
        print("timed out")
        sys.exit(1)
    time.sleep(0.001)
print("%.1f" % ((time.monotonic() - start) * 1000))
command.wait()
PY
  ) || e2e_fail "run $i: ${t:-no answer}"
  e2e_check "run $i took no overlay" e2e_overlay_gone
  e2e_wait_for "the timing of run $i" 30 bash -c "[ \$(grep -c 'last region:' '$LOG') -ge $i ]"
  read -r grab compose action < <(grep 'last region:' "$LOG" | sed -n "${i}p" |
    sed 's/.*grab \([0-9.]*\) ms, compose \([0-9.]*\) ms, after-capture action \([0-9.]*\) ms/\1 \2 \3/')
  echo "$t $grab $compose $action" >>"$E2E_DIR/times"
  printf 'run %3d: %7s ms (grab %s ms, compose %s ms, after-capture action %s ms)\n' "$i" "$t" "$grab" "$compose" "$action"
done
median() { sort -n | awk '{v[NR] = $1} END {if (NR) printf "%.1f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
col() { cut -d' ' -f"$1" "$E2E_DIR/times" | median; }
echo "median: vexmor --capture=last-region to the PNG written $(col 1) ms; grab $(col 2) ms," \
  "compose $(col 3) ms, after-capture action $(col 4) ms"
kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "the program did not end on SIGTERM"
