#!/usr/bin/env bash
# The Wayland harness itself, on two headless outputs of which the second is scaled 2x: a probe window
# full-screen on each sees its screen's geometry and scale and receives the input helper's clicks
# where they were aimed, a Ctrl+drag, keys with Ctrl and Shift, Escape and the wheel; grim's picture
# of the layout has the layout's size and shows the windows where they are; the pixel watcher
# reports a change of colour after the moment it happened; the clipboard tools round-trip a text
# as the session's user.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_input
: "${VEXMOR_WL_PROBE:=$(dirname "$VEXMOR_BIN")/tests/vexmor_wl_probe}"
[ -x "$VEXMOR_WL_PROBE" ] || e2e_fail "no probe window program at $VEXMOR_WL_PROBE"

wl_start_compositor 2 "output HEADLESS-1 resolution 1920x1080 position 0 0" \
  "output HEADLESS-2 resolution 1280x1024 position 1920 0 scale 2"
e2e_check "first output as configured" [ "$(wl_output_geometry HEADLESS-1)" = "0 0 1920 1080 1.0" ]
e2e_check "second output at half its pixels" [ "$(wl_output_geometry HEADLESS-2)" = "1920 0 640 512 2.0" ]
e2e_check "layout box" [ "$WL_BOX" = "0 0 2560 1080" ]

wl_input_start
probe=$(wl_copy_in "$VEXMOR_WL_PROBE")
log="$WL_FILES/probe.log"
wl_spawn "$probe" "$log" >"$E2E_DIR/probe.out" 2>&1
probe_pid=$E2E_LAST_PID

logged() { grep -qxF "$1" "$log"; }
wait_logged() { e2e_wait_for "probe: $1" 20 logged "$1"; }

e2e_wait_for "probe windows on both screens" 30 bash -c '[ "$(grep -c "^exposed " "$0")" = 2 ]' "$log"
e2e_alive "$probe_pid" || e2e_fail "the probe ended: $(cat "$E2E_DIR/probe.out")"
e2e_check "probe sees the first screen" logged "screen HEADLESS-1 0 0 1920 1080 1"
e2e_check "probe sees the scaled screen" logged "screen HEADLESS-2 1920 0 640 512 2"
colour1=$(awk '$1 == "exposed" && $2 == "HEADLESS-1" && $3 == 1920 && $4 == 1080 && $5 == 1 {print $6}' "$log")
colour2=$(awk '$1 == "exposed" && $2 == "HEADLESS-2" && $3 == 640 && $4 == 512 && $5 == 2 {print $6}' "$log")
e2e_check "full-screen window on the first screen" [ -n "$colour1" ]
e2e_check "full-screen window on the scaled screen at its scale" [ -n "$colour2" ]

# Clicks land at the aimed layout point, in each window's own logical coordinates. A press sent
# while the compositor is still placing the windows reaches no window, so each press waits until the
# window under the pointer has it at the aimed point; until it does, the pointer steps aside and back.
point_at() {
  local x=$1 y=$2 deadline=$((SECONDS + 20))
  wl_input move "$x" "$y"
  until logged "at $3"; do
    [ $SECONDS -lt $deadline ] || e2e_fail "timed out after 20s waiting for: probe: at $3"
    sleep 0.1
    wl_input move $((x > 0 ? x - 1 : x + 1)) "$y"
    wl_input move "$x" "$y"
  done
}
click_at() {
  point_at "$1" "$2" "$3"
  wl_input press "${4:-left}"
  wl_input release "${4:-left}"
}
click_at 300 200 "HEADLESS-1 300 200"
wait_logged "press HEADLESS-1 300 200 left none"
wait_logged "release HEADLESS-1 300 200 left none"
click_at $((1920 + 101)) 77 "HEADLESS-2 101 77" middle
wait_logged "press HEADLESS-2 101 77 middle none"
click_at 2559 511 "HEADLESS-2 639 511"
wait_logged "press HEADLESS-2 639 511 left none"

# Ctrl+drag: the press, the motion and the release all carry Ctrl.
wl_input keydown Control_L
point_at 400 300 "HEADLESS-1 400 300"
wl_input press left
for i in $(seq 1 20); do
  wl_input move $((400 + 300 * i / 20)) $((300 + 200 * i / 20))
done
wl_input release left
wl_input keyup Control_L
wait_logged "press HEADLESS-1 400 300 left ctrl"
wait_logged "drag HEADLESS-1 700 500 ctrl"
wait_logged "release HEADLESS-1 700 500 left ctrl"

# Keys go to the window under the pointer, with the modifier state the helper sends.
wl_input keydown Control_L
wl_input key c
wl_input keyup Control_L
wait_logged "keydown HEADLESS-1 C ctrl"
wl_input key a
wait_logged "keydown HEADLESS-1 A none"
wl_input key A
wait_logged "keydown HEADLESS-1 A shift"
wl_input key Escape
wait_logged "keydown HEADLESS-1 Esc none"
wl_input wheel 1
wait_logged "wheel HEADLESS-1 1 none"
point_at 2000 400 "HEADLESS-2 80 400"
wl_input key Return
wait_logged "keydown HEADLESS-2 Return none"

# The compositor's picture: the layout at the highest scale, or at scale 1 when asked; each output's
# window where the layout puts it.
wl_grim "$E2E_DIR/layout.png"
e2e_check "grim's picture of the layout at scale 2" [ "$(identify -format '%wx%h' "$E2E_DIR/layout.png")" = 5120x2160 ]
wl_grim "$E2E_DIR/layout1.png" -s 1
e2e_check "grim's picture at scale 1" [ "$(identify -format '%wx%h' "$E2E_DIR/layout1.png")" = 2560x1080 ]
pixel() { convert "$1" -format "%[hex:p{$2,$3}]" info: | cut -c1-6 | tr A-F a-f; }
e2e_check "first window in the picture" [ "$(pixel "$E2E_DIR/layout1.png" 100 900)" = "$colour1" ]
e2e_check "scaled window in the picture" [ "$(pixel "$E2E_DIR/layout1.png" 2500 500)" = "$colour2" ]
wl_grim "$E2E_DIR/output2.png" -g "1920,0 640x512"
e2e_check "one output's picture in its own pixels" [ "$(identify -format '%wx%h' "$E2E_DIR/output2.png")" = 1280x1024 ]

# The pixel watcher: the probe turns white while the right button is down over it. The headless
# output draws the cursor into its picture, so the pointer stays away from the watched pixel.
point_at 2200 300 "HEADLESS-2 280 300"
watcher=$(wl_copy_in "$VEXMOR_WL_INPUT")
wl_spawn "$watcher" --watch 2400 450 --timeout 20 >"$E2E_DIR/watch.out" 2>"$E2E_DIR/watch.log"
watch_pid=$E2E_LAST_PID
e2e_wait_for "the watcher's first colour" 20 test -s "$E2E_DIR/watch.out"
e2e_check "watcher reads the scaled window's colour" [ "$(head -1 "$E2E_DIR/watch.out")" = "$colour2" ]
before=$(python3 -c 'import time; print("%.9f" % time.monotonic())')
wl_input press right
e2e_wait_exit "$watch_pid" 20 || e2e_fail "the watcher saw no change: $(cat "$E2E_DIR/watch.log")"
wl_input release right
read -r word when colour <<<"$(sed -n 2p "$E2E_DIR/watch.out")"
e2e_check "watcher ends well" [ "$E2E_EXIT_STATUS" = 0 ]
e2e_check "watcher reports the new colour" [ "$word $colour" = "changed ffffff" ]
e2e_check "watcher's time follows the press" python3 -c "import sys, time
sys.exit(not $before < $when <= time.monotonic())"
e2e_log "the change arrived $(python3 -c "print(round(($when - $before) * 1000, 1))") ms after the press was sent"

# The clipboard as the session's user.
text="Vexmor 剪贴板 $$"
wl_spawn wl-copy --foreground "$text"
pasted() { [ "$(wl_run wl-paste --no-newline 2>/dev/null)" = "$text" ]; }
e2e_wait_for "wl-paste to return what wl-copy offers" 20 pasted

e2e_check "probe still runs" e2e_alive "$probe_pid"
e2e_check "compositor still runs" e2e_alive "$WL_SWAY_PID"
e2e_pass
