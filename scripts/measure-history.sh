#!/usr/bin/env bash
# How fast the history tab opens with a full history, as a user sees it: a private X server, a history
# of N kept 1920 x 1080 captures (made with ImageMagick, red thumbnails), and for each run a fresh
# `vexmor --tray` that has never shown its window; then `vexmor --history` handed to it is timed from
# its start to the first change of a root pixel inside the first thumbnail's place
# (scripts/root-pixel-watch.py), and the window is closed with Esc. Prints each run and the median.
#
#   scripts/measure-history.sh [--build DIR] [--entries N] [--runs N]
#
# Everything it starts is stopped by PID when it ends.
set -u

HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
ENTRIES=100
RUNS=5
while [ $# -gt 0 ]; do
  case $1 in
  --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
  --entries) ENTRIES=$2; shift 2 ;;
  --runs) RUNS=$2; shift 2 ;;
  -h | --help) sed -n '2,10p' "$0"; exit 0 ;;
  *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

export VEXMOR_BIN="$BUILD/vexmor"
[ -x "$VEXMOR_BIN" ] || { echo "no program at $VEXMOR_BIN" >&2; exit 1; }
source "$HERE/tests/e2e/lib.sh"
e2e_init measure-history
e2e_start_x 1920x1080x24

# The window at (100, 100), with no window manager to move it.
mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=3\n[Software\\Vexmor\\VexmorMainForm]\nLeft=100\nTop=100\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
HIST="$XDG_DOCUMENTS_DIR/我的视频捕获/history"
mkdir -p "$HIST"
convert -size 1920x1080 gradient:'#204060-#c08040' -alpha set -depth 8 "$HIST/picture.png"
convert -size 120x68 xc:'#ff0000' -alpha set -depth 8 "$HIST/thumb.png"
for i in $(seq 1 "$ENTRIES"); do
  name=$(printf '20261211-%02d%02d%02d-000' $((i / 3600)) $((i / 60 % 60)) $((i % 60)))
  cp "$HIST/picture.png" "$HIST/$name.png"
  cp "$HIST/thumb.png" "$HIST/$name.thumb.png"
  printf '{"file":"%s.png","time":"2026-12-11T%02d:%02d:%02d.000Z","name":"Capture %d","size":[1920,1080]}\n' \
    "$name" $((i / 3600)) $((i / 60 % 60)) $((i % 60)) "$i"
done >"$HIST/index.jsonl"
rm "$HIST/picture.png" "$HIST/thumb.png"

times=()
for run in $(seq 1 "$RUNS"); do
  e2e_start_vexmor --tray
  e2e_wait_for "the program's hidden window" 30 bash -c 'xdotool search --all --class --name "^Vexmor$" | grep -q .'
  # The newest entry's thumbnail: the list's first row, below the tab bar.
  t=$(python3 "$HERE/scripts/root-pixel-watch.py" --at 150 160 --close Escape --timeout 20 \
    --run "$VEXMOR_BIN" --history) || e2e_fail "run $run: $t"
  echo "run $run: ${t} ms"
  times+=("$t")
  e2e_stop_vexmor
done
printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR] = $1} END {print "median: " a[int((NR + 1) / 2)] " ms"}'
