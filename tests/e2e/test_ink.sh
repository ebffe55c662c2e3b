#!/usr/bin/env bash
# Ink end to end: the right button draws ink on the overlay, and the saved capture carries it on the very
# desktop pixels it was drawn over. 1. A stroke, then Enter: the whole desktop is kept, ink included.
# 2. A stroke, then a lasso with the left button (its release confirms): the stroke leaves the lasso, so
# the picture grows to the stroke's bounds plus a 32-pixel margin, and once more 32 pixels around
# everything, and the ink outside the lasso is kept whole. The after-capture action is "save to the
# desktop" as PNG with transparency, set through the settings file.
#
# Every desktop pixel tells where it is (red x mod 256, green y mod 256, blue the high bits), so the
# saved picture's origin on the desktop is read from any of its plain pixels.
set -u
source "$(dirname "$0")/lib.sh"
e2e_init ink
e2e_start_x 1280x800x24

e2e_show_position_desktop 1280 800

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\nTransPNGBox=1\nCapCursorBox=0\nAutoTitleBox=0\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
DESK="$XDG_DESKTOP_DIR"
INK="216,0,0,255" # the default ink colour, opaque at the default pen width of 6

stop_vexmor_and_clear() {
  e2e_stop_vexmor
  rm -f "$DESK"/*
}

# "x y" on the desktop of a plain (not inked, opaque) pixel at x, y of the saved picture.
desktop_point() {
  e2e_pixel "$1" "$2" "$3" | awk -F, -v x="$2" -v y="$3" '$4 != 255 { exit 1 } {
    hi = $3 - 100; printf "%d %d\n", int(hi / 16) * 256 + $1 - x, (hi % 16) * 256 + $2 - y }'
}

# A horizontal stroke from (300, 300) to (700, 300) with the right button, slowly enough for any load;
# the pen catches up in the overlay's worker after the release.
draw_stroke() {
  local x
  xdotool mousemove 300 300
  e2e_wait_for "the pointer at the stroke's start" 10 bash -c 'xdotool getmouselocation | grep -q "x:300 y:300 "'
  xdotool mousedown 3
  for x in $(seq 310 10 700); do
    xdotool mousemove "$x" 300
    sleep 0.02
  done
  xdotool mouseup 3
}

# The ink lies on the desktop pixels it was drawn over: row 300 from the start to well before the end
# (the pen lags a little behind the mouse; confirming takes the stroke as far as it got).
check_ink() {
  local f=$1 ox=$2 oy=$3 label=$4 x got
  for x in 300 320 400 500 600 640; do
    got=$(e2e_pixel "$f" $((x - ox)) $((300 - oy)))
    e2e_check "$label: ink at desktop $x,300 (got $got)" [ "$got" = "$INK" ]
  done
  got=$(e2e_pixel "$f" $((500 - ox)) $((330 - oy)))
  e2e_check "$label: no ink 30 pixels below the stroke (got $got)" [ "$got" != "$INK" ]
}

# 1. Ink, then Enter: the whole desktop with the ink on it.
e2e_start_capture
draw_stroke
xdotool key Return
f=$(e2e_saved_picture "$DESK")
size=$(identify -format '%w %h' "$f")
e2e_check "Enter saves the whole desktop (got $size)" [ "$size" = "1280 800" ]
read -r ox oy < <(desktop_point "$f" 100 100) || e2e_fail "pixel 100,100 of the picture is not the desktop's"
e2e_check "the whole desktop starts at its origin (got $ox,$oy)" [ "$ox,$oy" = "0,0" ]
check_ink "$f" 0 0 "whole desktop"
stop_vexmor_and_clear

# 2. Ink, then a lasso around its middle: the picture keeps the whole stroke.
e2e_start_capture
draw_stroke
xdotool mousemove 620 300
e2e_wait_for "the pointer at the lasso's start" 10 bash -c 'xdotool getmouselocation | grep -q "x:620 y:300 "'
xdotool mousedown 1
for i in $(seq 0 60); do
  read -r x y < <(awk -v i="$i" 'BEGIN{t=6.2832*i/60; printf "%d %d\n", 500+120*cos(t), 300+120*sin(t)}')
  xdotool mousemove "$x" "$y"
  sleep 0.03
done
xdotool mouseup 1
f=$(e2e_saved_picture "$DESK")
read -r w h channels < <(identify -format '%w %h %[channels]\n' "$f")
e2e_log "lasso picture: $w x $h $channels"
# The plain pixel 50 below the lasso's centre tells where the picture lies on the desktop.
read -r ox oy < <(desktop_point "$f" $((w / 2)) $((h / 2 + 50))) ||
  e2e_fail "the middle of the lasso picture is not plain desktop"
e2e_log "lasso picture origin on the desktop: $ox,$oy"
# The stroke's bounds start at 300 - 6 (the pen's repaint margin); leaving the lasso adds 32 to them
# and 32 more around the whole picture.
e2e_check "the picture starts 64 pixels left of the stroke's bounds (origin x $ox)" [ "$ox" = 230 ]
e2e_check "the picture reaches beyond the stroke's end (width $w)" [ $((ox + w)) -ge 700 ]
check_ink "$f" "$ox" "$oy" "lasso"
corner=$(e2e_pixel "$f" 0 0)
e2e_check "outside the lasso and the ink the picture is transparent (got $corner)" [ "${corner##*,}" = 0 ]
stop_vexmor_and_clear

e2e_pass
