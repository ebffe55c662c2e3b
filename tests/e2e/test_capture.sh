#!/usr/bin/env bash
# Capture end to end on two monitors side by side (the right one at x 1280): a start without /tray
# opens the overlay over the whole desktop; Esc cancels and leaves no file; Ctrl+drag across the
# monitor boundary saves exactly the dragged pixels; a lasso saves a picture with transparent corners
# and a margin around the outline; a click saves the whole desktop. The after-capture action is "save
# to the desktop" as PNG with transparency, set through the settings file.
set -u
source "$(dirname "$0")/lib.sh"
e2e_init capture
e2e_start_x 3200x1080x24
xrandr --setmonitor RIGHT 1920/500x1080/280+1280+0 screen >/dev/null
xrandr --setmonitor LEFT 1280/340x1024/270+0+0 none >/dev/null

# A picture whose every pixel differs from its neighbours, so that an offset by one pixel shows.
convert -size 800x540 xc:gray -seed 5 +noise Random -depth 8 "$E2E_DIR/tile.png"
convert -size 3200x1080 tile:"$E2E_DIR/tile.png" -depth 8 "$E2E_DIR/desktop.png"
display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\nTransPNGBox=1\nCapCursorBox=0\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
DESK="$XDG_DESKTOP_DIR"

overlay_id() { e2e_overlay_ids | head -1; }
# Ctrl+drag a 300 x 150 rectangle from (x, y) and check the saved picture holds exactly those screen
# pixels. Under scaling the program takes the exact device position of a press and a release from the
# pointer itself: the pointer stays put until each has been dealt with, as a hand's does.
rectangle_from() {
  local x=$1 y=$2 label=$3 f size diff
  xdotool mousemove "$x" "$y"
  sleep 0.3
  xdotool keydown ctrl mousedown 1
  sleep 0.5
  xdotool mousemove $((x + 100)) $((y + 80)) mousemove $((x + 299)) $((y + 149))
  sleep 0.5
  xdotool mouseup 1 keyup ctrl
  f=$(e2e_saved_picture "$DESK")
  size=$(identify -format '%w %h' "$f")
  e2e_check "$label: rectangle is 300 x 150 (got $size)" [ "$size" = "300 150" ]
  convert "$E2E_DIR/desktop.png" -crop "300x150+$x+$y" +repage "$E2E_DIR/want.png"
  convert "$f" -alpha off "$E2E_DIR/got.png"
  diff=$(compare -metric AE "$E2E_DIR/got.png" "$E2E_DIR/want.png" null: 2>&1)
  e2e_check "$label: rectangle holds exactly the screen's pixels (differing: $diff)" [ "$diff" = "0" ]
}
stop_vexmor_and_clear() {
  e2e_stop_vexmor
  rm -f "$DESK"/*
}


# 1. The overlay covers both monitors exactly.
e2e_start_capture
geometry=$(xwininfo -id "$(overlay_id)" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
  /Width:/{w=$NF} /Height:/{h=$NF} END{print x","y","w","h}')
e2e_check "overlay spans the virtual desktop (got $geometry)" [ "$geometry" = "0,0,3200,1080" ]

# 2. Esc cancels: the overlay goes, nothing is written.
xdotool key Escape
e2e_wait_for "the overlay to close on Esc" 10 e2e_overlay_gone
sleep 0.5
e2e_check "Esc leaves no file" [ -z "$(ls -A "$DESK")" ]
e2e_check "the program keeps running after a cancel" e2e_alive "$VEXMOR_PID"
stop_vexmor_and_clear

# 3. Ctrl+drag across the monitor boundary: exactly those pixels.
e2e_start_capture
rectangle_from 1200 300 "unscaled"
stop_vexmor_and_clear

# 4. A lasso: transparent outside, 32-pixel margin around the outline. The outline follows the mouse
# with inertia, sampled every 10 ms by the worker; a busy machine samples less often and rounds the
# circle a little more, so the moves are slow and the size allows for some rounding.
e2e_start_capture
xdotool mousemove 700 500 mousedown 1
for i in $(seq 0 60); do
  read -r x y < <(awk -v i="$i" 'BEGIN{t=6.2832*i/60; printf "%d %d\n", 600+100*cos(t), 500+100*sin(t)}')
  xdotool mousemove "$x" "$y"
  sleep 0.03
done
sleep 0.5
xdotool mouseup 1
f=$(e2e_saved_picture "$DESK")
read -r w h channels < <(identify -format '%w %h %[channels]\n' "$f")
e2e_log "lasso picture: $w x $h $channels"
e2e_check "lasso picture has transparency" bash -c "[[ '$channels' == *a* ]]"
within() { [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]; }
e2e_check "lasso picture is the outline plus margins (width $w)" within "$w" 230 290
e2e_check "lasso picture is the outline plus margins (height $h)" within "$h" 230 290
corner=$(convert "$f" -format '%[fx:p{0,0}.a]' info:)
centre=$(convert "$f" -format "%[fx:p{$((w / 2)),$((h / 2))}.a]" info:)
e2e_check "lasso corner is transparent (alpha $corner)" [ "$corner" = "0" ]
e2e_check "lasso centre is opaque (alpha $centre)" [ "$centre" = "1" ]
stop_vexmor_and_clear

# 5. A click keeps the whole desktop.
e2e_start_capture
xdotool mousemove 2000 600 click 1
f=$(e2e_saved_picture "$DESK")
size=$(identify -format '%w %h' "$f")
e2e_check "a click saves the whole desktop (got $size)" [ "$size" = "3200 1080" ]
stop_vexmor_and_clear

# 6. Under the framework's scaling, uniform or per monitor, the overlay still works in device pixels.
for factor in QT_SCALE_FACTOR=2 QT_SCALE_FACTOR=1.5 'QT_SCREEN_SCALE_FACTORS=1;2' 'QT_SCREEN_SCALE_FACTORS=2;1'; do
  export "${factor?}"
  e2e_start_capture
  unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
  geometry=$(xwininfo -id "$(overlay_id)" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /Width:/{w=$NF} /Height:/{h=$NF} END{print x","y","w","h}')
  e2e_check "scale $factor: overlay spans the virtual desktop (got $geometry)" [ "$geometry" = "0,0,3200,1080" ]
  rectangle_from 1201 301 "scale $factor"
  stop_vexmor_and_clear
done
# At 1.5 a logical pixel holds a device pixel and a half: from the last third of one as well.
QT_SCALE_FACTOR=1.5 e2e_start_capture
rectangle_from 1202 302 "scale 1.5, the other third"
stop_vexmor_and_clear

e2e_pass
