#!/usr/bin/env bash
# A capture pinned to the screen, end to end: `vexmor --capture --pin` handed to the resident copy
# opens the overlay, and the rectangle dragged there is pinned exactly over the place it was taken
# from, showing the captured pixels while the desktop below changes; a second pin stands beside the
# first; a wheel notch on it makes it 25 % larger around the pointer; Esc closes it and leaves the
# other one and the program running. The after-capture action (save to the desktop) never runs. At
# 2x scaling a pin at odd device pixels still shows them one for one.
set -u
source "$(dirname "$0")/lib.sh"
e2e_init pin
e2e_start_x 1920x1080x24

# A picture whose every pixel differs from its neighbours, so that an offset by one pixel shows.
convert -size 640x360 xc:gray -seed 7 +noise Random -depth 8 "$E2E_DIR/tile.png"
convert -size 1920x1080 tile:"$E2E_DIR/tile.png" -depth 8 "$E2E_DIR/desktop.png"
convert -size 1920x1080 xc:'#336699' -depth 8 "$E2E_DIR/plain.png"
display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nCapCursorBox=0\n' >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"

# The pins' X windows, found by their window role, one id a line.
pin_ids() {
  local id
  for id in $(xdotool search --onlyvisible --class vexmor 2>/dev/null); do
    xprop -id "$id" WM_WINDOW_ROLE 2>/dev/null | grep -q '= "vexmor-pin"$' && echo "$id"
  done
  return 0
}
pin_count_is() { [ "$(pin_ids | wc -l)" = "$1" ]; }
geometry_is() { [ "$(e2e_window_geometry "$1")" = "$2" ]; }
# Ctrl+drag from (x, y) over w x h pixels; the release confirms the capture.
drag_rectangle() {
  local x=$1 y=$2 w=$3 h=$4
  xdotool mousemove "$x" "$y"
  sleep 0.3
  xdotool keydown ctrl mousedown 1
  sleep 0.3
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) mousemove $((x + w - 1)) $((y + h - 1))
  sleep 0.3
  xdotool mouseup 1 keyup ctrl
}
# The number of pixels of the screen's W x H at X, Y that differ from the same part of a picture.
screen_differs_from() {
  local picture=$1 geometry=$2
  import -window root -crop "$geometry" +repage "$E2E_DIR/screen.png" 2>/dev/null || return 1
  convert "$picture" -crop "$geometry" +repage "$E2E_DIR/want.png"
  compare -metric AE "$E2E_DIR/screen.png" "$E2E_DIR/want.png" null: 2>&1
}
shows_exactly() { [ "$(screen_differs_from "$@")" = 0 ]; }

e2e_start_vexmor /tray
e2e_wait_for "the main window" 30 e2e_main_windows

# 1. --capture --pin: the dragged rectangle stands at its place with the captured pixels.
"$VEXMOR_BIN" --capture --pin
e2e_wait_for "the overlay" 30 e2e_overlay_shown
drag_rectangle 700 300 300 150
e2e_wait_for "the overlay to close" 30 e2e_overlay_gone
e2e_wait_for "a pin" 30 pin_count_is 1
pin=$(pin_ids | head -1)
geometry=$(e2e_window_geometry "$pin")
e2e_check "the pin stands where the capture was taken (got $geometry)" [ "$geometry" = "700 300 300 150" ]
# The desktop below changes; the pin keeps showing what was captured, pixel for pixel.
display -window root "$E2E_DIR/plain.png" >/dev/null 2>&1 || true
e2e_wait_for "the desktop to change around the pin" 30 shows_exactly "$E2E_DIR/plain.png" 100x100+100+100
e2e_wait_for "the pin to show the captured pixels" 30 shows_exactly "$E2E_DIR/desktop.png" 300x150+700+300
e2e_check "the pin took the place of the after-capture action (no file saved)" [ -z "$(ls -A "$XDG_DESKTOP_DIR")" ]

# 2. A second pin beside the first, each with its own capture.
"$VEXMOR_BIN" --capture --pin
e2e_wait_for "the second overlay" 30 e2e_overlay_shown
drag_rectangle 100 600 200 100
e2e_wait_for "the second overlay to close" 30 e2e_overlay_gone
e2e_wait_for "two pins" 30 pin_count_is 2
e2e_wait_for "the second pin to show the plain desktop it took" 30 shows_exactly "$E2E_DIR/plain.png" 200x100+100+600
e2e_check "the first pin still shows its own capture" shows_exactly "$E2E_DIR/desktop.png" 300x150+700+300

# 3. A click gives the first pin the keyboard; a wheel notch away from the user at its centre makes
# it 25 % larger around that point (662.5, 281.25 rounded; 375 x 187.5 rounded).
xdotool mousemove 850 375
sleep 0.3
xdotool click 1
sleep 0.3
xdotool click 4
e2e_wait_for "the pin to grow around the pointer" 30 geometry_is "$pin" "663 281 375 188"

# 4. Esc closes it; the other pin and the program stay.
xdotool key Escape
e2e_wait_for "the first pin to close" 30 pin_count_is 1
e2e_check "the program keeps running" e2e_alive "$VEXMOR_PID"
e2e_check "the second pin stays" shows_exactly "$E2E_DIR/plain.png" 200x100+100+600
e2e_stop_vexmor
e2e_wait_for "the pins to close with the program" 30 pin_count_is 0

# 5. Under the framework's 2x scaling, at odd device pixels, the pin still shows the capture's device
# pixels one for one.
display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true
QT_SCALE_FACTOR=2 e2e_start_vexmor /tray
e2e_wait_for "the main window at 2x" 30 e2e_main_windows
"$VEXMOR_BIN" --capture --pin
e2e_wait_for "the overlay at 2x" 30 e2e_overlay_shown
drag_rectangle 701 301 300 150
e2e_wait_for "a pin at 2x" 30 pin_count_is 1
display -window root "$E2E_DIR/plain.png" >/dev/null 2>&1 || true
e2e_wait_for "the desktop to change around the pin at 2x" 30 shows_exactly "$E2E_DIR/plain.png" 100x100+100+100
e2e_wait_for "the pin at 2x to show the captured device pixels" 30 shows_exactly "$E2E_DIR/desktop.png" 300x150+701+301
e2e_stop_vexmor
e2e_pass
