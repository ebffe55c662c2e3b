# The main window: a tray host docks Vexmor's icon, a double click opens the settings tab, then the
# about tab, and the icon's menu.
e2e_spawn trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false
demo_tray_icon() { xwininfo -root -tree | awk '/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'; }
demo_main() {
  local icon id
  icon=$(demo_tray_icon)
  for id in $(xdotool search --onlyvisible --class --name '^Vexmor$' 2>/dev/null); do
    [ -n "$icon" ] && [ "$((id))" = "$((icon))" ] && continue
    echo "$id"
    return
  done
}
demo_icon_click() {
  eval "$(xdotool getwindowgeometry --shell "$(demo_tray_icon)")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat "${2:-1}" --delay 80 "$1"
}
demo_click_client() {
  local id x y
  id=$(demo_main)
  x=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {print $4}')
  y=$(xwininfo -id "$id" | awk '/Absolute upper-left Y/ {print $4}')
  xdotool mousemove $((x + $1)) $((y + $2)) click 1
}

e2e_wait_for "tray icon docked" 30 bash -c '[ -n "$(xwininfo -root -tree | awk '"'"'/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'"'"')" ]'
demo_icon_click 1 2
e2e_wait_for "main window" 10 bash -c "xdotool search --onlyvisible --class --name '^Vexmor\$' | grep -q ."
sleep 0.5
demo_shot 20-settings "Double click on the tray icon (top right): the main window's settings tab"
demo_click_client 72 13
sleep 0.7
demo_shot 21-about "The about tab: logo blended over the page, version 1.5.0.0, links to the help and credits"
demo_click_client 24 13
xdotool key Escape
sleep 0.3
demo_icon_click 3
sleep 0.7
demo_shot 22-traymenu "Right click on the tray icon: capture now, in 5 s, in 30 s, settings, exit"
xdotool key Escape

# "立即捕获屏幕": the overlay opens; a click keeps the whole desktop, and the capture tab pops up for
# naming the capture.
demo_icon_click 3
sleep 0.7
xdotool key Down Return
sleep 1.5
xdotool mousemove 960 540 click 1
if e2e_poll 10 bash -c "xdotool search --onlyvisible --class --name '^Vexmor\$' | grep -q ."; then
  sleep 0.7
  demo_shot 23-capture "After a capture: the capture tab for naming it (save, e-mail, edit, print, clipboard, discard); the capture's card floats at the right"
  xdotool key Escape
fi
