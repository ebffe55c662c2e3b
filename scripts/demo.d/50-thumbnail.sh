# The thumbnail card: after a rectangle capture the main window pops up and the card of the capture
# flies out to the other side of the monitor, rocking gently; pulled with the mouse it shrinks and
# hangs below the pointer as the drag image (Escape cancels, nothing is written).
demo_card() { xdotool search --onlyvisible --name '^Thumbnail$' 2>/dev/null | head -1; }
# Something worth capturing in the area the scene selects.
convert -size 500x350 gradient:'#2a6fb0'-'#f0c040' -fill white -pointsize 40 -gravity center \
  -annotate +0+0 'Vexmor' "$E2E_DIR/scene50.png" 2>/dev/null
e2e_spawn display -immutable -borderwidth 0 -geometry +700+250 "$E2E_DIR/scene50.png"
demo_picture_pid=$E2E_LAST_PID
sleep 1
icon_click 3
sleep 0.7
xdotool key Down Return
sleep 1.5
xdotool mousemove 700 250 keydown ctrl mousedown 1 mousemove 900 400 mousemove 1199 599 mouseup 1 keyup ctrl
if e2e_poll 10 bash -c "xdotool search --onlyvisible --name '^Thumbnail\$' | grep -q ."; then
  sleep 1.5
  demo_shot 50-thumbnail "After a capture: the main window (lower left) and the capture's card resting on the other side"
  eval "$(xdotool getwindowgeometry --shell "$(demo_card)")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
  sleep 0.2
  xdotool mousedown 1
  for i in $(seq 1 15); do
    xdotool mousemove $((X + WIDTH / 2 - 60 * i)) $((Y + HEIGHT / 2 - 10 * i))
    sleep 0.05
  done
  sleep 1
  demo_shot 51-dragout "Dragging the card out: it shrinks and follows the pointer; dropped on a folder it becomes an image file"
  xdotool key Escape
  sleep 0.2
  xdotool mouseup 1
  sleep 1
  demo_shot 52-after-drag "Escape cancels the drag: nothing is written, the main window and the card come back"
  xdotool key Escape
  kill "$demo_picture_pid" 2>/dev/null
else
  echo "  no thumbnail card appeared" >&2
  false
fi
