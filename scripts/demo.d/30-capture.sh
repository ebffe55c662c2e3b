# The capture overlay: the tray menu's "capture now" freezes the desktop under a blue tint; a lasso is
# drawn with the left button (its dashed outline trails the mouse); releasing confirms, and the main
# window shows the capture for naming.
demo_capture_icon() { xwininfo -root -tree | awk '/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'; }

icon=$(demo_capture_icon)
if [ -z "$icon" ]; then
  echo "  (no tray icon: capture scene skipped)" >&2
  return 1
fi
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
sleep 0.6
# The menu's first entry captures at once.
xdotool key Down Return
e2e_wait_for "the capture overlay" 20 e2e_overlay_shown
sleep 0.3
demo_shot 30-overlay "Capture: the frozen desktop under the overlay's blue tint, ready for a selection"

xdotool mousemove 760 540 mousedown 1
for i in $(seq 0 50); do
  read -r x y < <(awk -v i="$i" 'BEGIN{t=5.6*i/50; printf "%d %d\n", 960+200*cos(t+3.14159)*(1+0.15*sin(3*t)), 540+150*sin(t+3.14159)}')
  xdotool mousemove "$x" "$y"
  sleep 0.02
done
sleep 0.1
demo_shot 31-lasso "Left button held: the lasso cuts the area clear of the tint, its dashed outline trailing the mouse"
xdotool mouseup 1
sleep 1
demo_shot 32-confirmed "Released: the lasso is confirmed and the main window shows the capture for naming"
xdotool key Escape
sleep 0.3
