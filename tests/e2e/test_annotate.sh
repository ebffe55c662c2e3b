#!/usr/bin/env bash
# Annotation tools end to end: a redaction picked by keys (X, colour 7) and an arrow picked by clicks on
# the tool strip (its button, the blue swatch), then Enter. The saved desktop carries an opaque black
# box and a blue shaft, shows the plain desktop where the strip was, and is whole (the strip's clicks
# started no selection); the settings file keeps the last tool and colour.
#
# Every desktop pixel tells where it is (red x mod 256, green y mod 256, blue the high bits).
set -u
source "$(dirname "$0")/lib.sh"
e2e_init annotate
e2e_start_x 1280x800x24

e2e_show_position_desktop 1280 800

INI="$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
mkdir -p "$(dirname "$INI")"
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\nTransPNGBox=1\nCapCursorBox=0\nAutoTitleBox=0\n' >"$INI"

desktop_colour() { echo "$(($1 & 255)),$(($2 & 255)),$((100 + 16 * ($1 >> 8) + ($2 >> 8))),255"; }

# Right-button drag from (x0, y0) to (x1, y1) in 20 steps.
right_drag() {
  local x0=$1 y0=$2 x1=$3 y1=$4 i
  xdotool mousemove "$x0" "$y0"
  e2e_wait_for "the pointer at $x0,$y0" 10 bash -c "xdotool getmouselocation | grep -q 'x:$x0 y:$y0 '"
  xdotool mousedown 3
  for i in $(seq 1 20); do
    xdotool mousemove $((x0 + (x1 - x0) * i / 20)) $((y0 + (y1 - y0) * i / 20))
    sleep 0.02
  done
  xdotool mouseup 3
}
# Left click at the centre of a strip button or swatch whose top-left and side are given.
click_strip() {
  xdotool mousemove $(($1 + $3 / 2)) $(($2 + $3 / 2)) click 1
}

e2e_start_capture
xdotool key x 7
right_drag 200 300 300 360
click_strip $((376 + 6 + 1 * 32)) 18 30                   # the arrow
click_strip $((376 + 6 + 318 + 10 + (5 - 1) * 24)) 23 20 # colour 5, blue
right_drag 500 500 700 500
xdotool key Return
f=$(e2e_saved_picture "$XDG_DESKTOP_DIR")

size=$(identify -format '%w %h' "$f")
e2e_check "the whole desktop is saved, no selection from the strip (got $size)" [ "$size" = "1280 800" ]
colours=$(convert "$f" -crop 92x52+204+304 +repage -unique-colors -depth 8 txt:- | tail -n +2 | awk '{print $2}')
e2e_check "inside the redaction only opaque black (got $(echo $colours))" [ "$colours" = "(0,0,0,255)" ]
for x in 510 560 620 660; do
  got=$(e2e_pixel "$f" "$x" 500)
  e2e_check "blue arrow shaft at $x,500 (got $got)" [ "$got" = "30,111,224,255" ]
done
for p in "380 15" "429 33" "600 40" "816 33" "900 72" "640 400" "600 530"; do
  read -r x y <<<"$p"
  got=$(e2e_pixel "$f" "$x" "$y") want=$(desktop_colour "$x" "$y")
  e2e_check "plain desktop at $x,$y (got $got, want $want)" [ "$got" = "$want" ]
done

e2e_stop_vexmor
e2e_check "the program ends cleanly (status $E2E_EXIT_STATUS)" [ "$E2E_EXIT_STATUS" = 0 ]
e2e_check "the settings keep the arrow" grep -qx 'AnnotationTool=arrow' "$INI"
e2e_check "the settings keep colour 5" grep -qx 'AnnotationColour=5' "$INI"
e2e_pass
