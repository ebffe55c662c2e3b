#!/usr/bin/env bash
# How fast the capture overlay comes up in the resident program: starts a private X server at the
# given size, runs `vexmor /tray` from a build directory with VEXMOR_CAPTURE_TIMING set,
# opens N captures with the capture hot key (each cancelled with Esc) and prints, per capture, the time
# from the hot key's handler to the grab, to the frozen desktop drawn into the mapped overlay by the X
# server, to the program's own first paint and to that frame being handed to the X server, then the
# medians of the warm captures (the first one in a process, and the first after the grab's shared
# segment was let go, also make that segment). An X client watching the root window also times the
# overlay's map, from the request and from sending the key. With --pause the program sits idle that
# many seconds before each capture, as it would between a user's captures.
#
#   scripts/measure-capture.sh [--build DIR] [--screen WxH] [--captures N] [--pause S] [--key KEYS]
#   scripts/measure-capture.sh --command [--peer 'CMD ...'] [--build DIR] [--screen WxH] [--captures N]
#                              [--pause S] [--capture-option OPT] [--at X Y]
#
# --key is the xdotool name of the capture key (default Print; ctrl+Print opens the magnifier).
# --command times, as a user sees it, the command `vexmor --capture` (OPT, e.g. --capture=magnifier)
# handed to the resident copy and the capture key, each from its start to the first change of a root
# pixel (scripts/root-pixel-watch.py: the frozen, tinted desktop on screen), each capture closed with
# Esc (--at: the pixel watched, 200 300 unless given; the magnifier's first frame differs from the
# desktop only along the pick's row and column through the screen's centre); --peer then does the
# same for another program's capture command in the same X server (the program is started first as
# it is given, without its last word, as its resident part, e.g. --peer 'flameshot gui' runs
# `flameshot` and then times `flameshot gui`), and prints the ratio. With --command, --key takes
# keysym names joined by + (Control_L+Print opens the magnifier).
# Everything it starts is stopped by PID when it ends.
set -u

HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
CAPTURES=10
SIZE=3840x2160
PAUSE=0
KEY=Print
COMMAND=0
PEER=""
CAPTURE_OPTION=--capture
AT=(200 300)
while [ $# -gt 0 ]; do
  case $1 in
  --command) COMMAND=1; shift ;;
  --peer) PEER=$2; shift 2 ;;
  --capture-option) CAPTURE_OPTION=$2; shift 2 ;;
  --at) AT=("$2" "$3"); shift 3 ;;
  --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
  --captures) CAPTURES=$2; shift 2 ;;
  --screen) SIZE=$2; shift 2 ;;
  --pause) PAUSE=$2; shift 2 ;;
  --key) KEY=$2; shift 2 ;;
  -h | --help) sed -n '2,26p' "$0"; exit 0 ;;
  *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done

export VEXMOR_BIN="$BUILD/vexmor"
[ -x "$VEXMOR_BIN" ] || { echo "no program at $VEXMOR_BIN" >&2; exit 1; }
source "$HERE/tests/e2e/lib.sh"
e2e_init measure-capture

e2e_start_x "${SIZE}x24"
# A desktop that is not one flat colour.
convert -size "$SIZE" plasma:fractal -seed 3 -depth 8 "$E2E_DIR/desktop.png" 2>/dev/null &&
  display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true

# --- as a user sees it: the command, the key, and a peer's command --------------------------------
median() { sort -n | awk '{v[NR] = $1} END {if (NR) printf "%.1f", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2}'; }
watch_runs() {  # label, then the watcher's trigger arguments; one time per capture into $E2E_DIR/$label
  local label=$1 i t
  shift
  : >"$E2E_DIR/$label"
  for i in $(seq 1 "$CAPTURES"); do
    sleep "$PAUSE"
    t=$(python3 "$HERE/scripts/root-pixel-watch.py" --at "${AT[@]}" --close Escape --timeout 20 "$@") || e2e_fail "$label $i: $t"
    echo "$t" >>"$E2E_DIR/$label"
    printf '%-8s %3d: %7s ms\n' "$label" "$i" "$t"
    sleep 0.5
  done
}
if [ "$COMMAND" = 1 ]; then
  e2e_spawn "$VEXMOR_BIN" /tray
  VEXMOR_PID=$E2E_LAST_PID
  e2e_wait_for "the main window" 30 e2e_main_windows
  sleep 2
  echo "start to frozen desktop on screen, $SIZE, pause ${PAUSE}s before each ($VEXMOR_BIN)"
  watch_runs command --run "$VEXMOR_BIN" "$CAPTURE_OPTION"
  watch_runs key --key "$KEY"
  cmd=$(median <"$E2E_DIR/command")
  echo "median, vexmor $CAPTURE_OPTION: $cmd ms; capture key $KEY: $(median <"$E2E_DIR/key") ms"
  kill -TERM "$VEXMOR_PID"
  e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "the program did not end on SIGTERM"
  if [ -n "$PEER" ]; then
    read -r -a peer <<<"$PEER"
    e2e_spawn "${peer[@]:0:${#peer[@]}-1}"
    sleep 3
    watch_runs peer --run "${peer[@]}"
    p=$(median <"$E2E_DIR/peer")
    echo "median, $PEER: $p ms; vexmor $CAPTURE_OPTION is $(awk -v a="$p" -v b="$cmd" 'BEGIN {printf "%.1f", a / b}')x faster"
  fi
  exit 0
fi

export VEXMOR_CAPTURE_TIMING=1
LOG="$E2E_DIR/vexmor.log"
e2e_spawn bash -c 'exec "$VEXMOR_BIN" /tray 2>"$1"' vexmor "$LOG"
VEXMOR_PID=$E2E_LAST_PID
e2e_wait_for "the main window" 30 e2e_main_windows

# Seen from outside as well: an X client watching the root window's children timestamps every map,
# and the time from sending the key (xdotool's own start-up included) to the overlay's map is kept.
MAPS="$E2E_DIR/maps"
: >"$MAPS"
e2e_spawn bash -c 'stdbuf -oL xev -root -event substructure 2>/dev/null | while IFS= read -r line; do
  case $line in MapNotify*) echo "$EPOCHREALTIME" ;; esac; done >"$1"' watcher "$MAPS"
sleep 1
: >"$MAPS"
SENT="$E2E_DIR/sent"
: >"$SENT"
for i in $(seq 1 "$CAPTURES"); do
  sleep "$PAUSE"
  echo "$EPOCHREALTIME" >>"$SENT"
  xdotool key "$KEY"
  e2e_wait_for "the overlay of capture $i" 30 e2e_overlay_shown
  e2e_wait_for "the timing of capture $i" 30 bash -c "[ \$(grep -c 'overlay flushed' '$LOG') -ge $i ]"
  xdotool key Escape
  e2e_wait_for "the overlay of capture $i to close" 30 e2e_overlay_gone
done

echo "capture overlay on a $SIZE desktop ($VEXMOR_BIN), milliseconds from the capture request"
awk '
  # The backdrop is drawn before the line with the grab is written.
  /drawn by the X server/ { drawn[n + 1] = $(NF - 5) }
  / grab / { n++; grab[n] = $3 }
  /painted/ { painted[n] = $(NF - 5) }
  /flushed/ { flushed[n] = $(NF - 5) }
  function median(a, label,   i, m, v, x, j) {
    m = 0
    for (i = 2; i <= n; i++) if (a[i] != "") v[++m] = a[i]
    for (i = 2; i <= m; i++) { x = v[i]; j = i - 1; while (j > 0 && v[j] > x) { v[j + 1] = v[j]; j-- } v[j + 1] = x }
    if (m > 0) printf "median of captures 2-%d, %s: %.1f ms\n", n, label, (m % 2) ? v[(m + 1) / 2] : (v[m / 2] + v[m / 2 + 1]) / 2
  }
  END {
    printf "%8s %8s %8s %8s %8s\n", "capture", "grab", "drawn", "painted", "flushed"
    for (i = 1; i <= n; i++)
      printf "%8d %8.1f %8s %8.1f %8.1f\n", i, grab[i], drawn[i] == "" ? "-" : sprintf("%.1f", drawn[i]), painted[i], flushed[i]
    median(drawn, "frozen desktop drawn by the X server")
    median(flushed, "the program\x27s own first frame flushed")
  }' "$LOG"
# From the request inside the program (its wall-clock time in the log) to the map seen by the watcher:
# with the server's backdrop the overlay shows the frozen desktop from its map on.
paste <(sed -n 's/.*requested at \([0-9.]*\) s$/\1/p' "$LOG") <(head -n "$CAPTURES" "$MAPS") | awk '
  NF == 2 { n++; v[n] = ($2 - $1) * 1000; printf "capture %d: request to overlay mapped %.1f ms\n", n, v[n] }
  END {
    for (i = 2; i <= n; i++) { x = v[i]; j = i - 1; while (j > 1 && v[j] > x) { v[j + 1] = v[j]; j-- } v[j + 1] = x }
    if (n > 1) { m = n - 1; printf "median of captures 2-%d, request to mapped: %.1f ms\n", n, (m % 2) ? v[1 + (m + 1) / 2] : (v[1 + m / 2] + v[2 + m / 2]) / 2 }
  }'
paste "$SENT" <(head -n "$CAPTURES" "$MAPS") | awk '
  NF == 2 { n++; v[n] = ($2 - $1) * 1000; printf "capture %d: key sent to overlay mapped %.1f ms\n", n, v[n] }
  END {
    for (i = 2; i <= n; i++) { x = v[i]; j = i - 1; while (j > 1 && v[j] > x) { v[j + 1] = v[j]; j-- } v[j + 1] = x }
    if (n > 1) { m = n - 1; printf "median of captures 2-%d, mapped: %.1f ms\n", n, (m % 2) ? v[1 + (m + 1) / 2] : (v[1 + m / 2] + v[2 + m / 2]) / 2 }
  }'
kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "the program did not end on SIGTERM"
