# The main window: a tray host docks Vexmor's icon, a double click opens the settings tab, then the
# about tab, and the icon's menu.
e2e_spawn trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false
# shellcheck source=../../tests/e2e/tray_lib.sh
source "$root/tests/e2e/tray_lib.sh" || return 1
demo_click_client() {
  local id x y
  id=$(visible_main)
  x=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {print $4}')
  y=$(xwininfo -id "$id" | awk '/Absolute upper-left Y/ {print $4}')
  xdotool mousemove $((x + $1)) $((y + $2)) click 1
}

e2e_wait_for "tray icon docked" 30 icon_docked
icon_click 1 2
e2e_wait_for "main window" 10 main_shown
sleep 0.5
demo_shot 20-settings "Double click on the tray icon (top right): the main window's settings tab"
demo_click_client 72 13
sleep 0.7
demo_shot 21-about "The about tab: logo blended over the page, version 1.5.0.0, links to the help and credits"
demo_click_client 24 13
xdotool key Escape
sleep 0.3
icon_click 3
sleep 0.7
demo_shot 22-traymenu "Right click on the tray icon: capture now, in 5 s, in 30 s, settings, exit"
xdotool key Escape

# "立即捕获屏幕": the overlay opens; a click keeps the whole desktop, and the capture tab pops up for
# naming the capture.
icon_click 3
sleep 0.7
xdotool key Down Return
sleep 1.5
xdotool mousemove 960 540 click 1
if e2e_poll 10 bash -c "xdotool search --onlyvisible --class --name '^Vexmor\$' | grep -q ."; then
  sleep 0.7
  demo_shot 23-capture "After a capture: the capture tab for naming it (save, e-mail, edit, print, clipboard, discard); the capture's card floats at the right"
  xdotool key Escape
fi
