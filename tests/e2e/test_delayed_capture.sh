#!/usr/bin/env bash
# Hot keys and the tray menu's delayed captures as a user meets them:
# - the choice "Ctrl + Prt Scr键" makes plain Print a capture key too (the magnifier one);
# - Alt+Print under a window manager grabs only the active window's area, and so does
#   `vexmor --capture=window` handed to the copy in the tray;
# - "5秒后捕获屏幕" opens the overlay after five seconds, a second click cancels it, and "退出" ends the
#   program with its settings saved.
source "$(dirname "$0")/lib.sh"
e2e_init delayed_capture
e2e_start_x 1280x800x24
command -v trayer >/dev/null || e2e_fail "trayer is not installed (scripts/deps.sh)"

ini="$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
mkdir -p "$(dirname "$ini")"
stop_vexmor() {
  kill -TERM "$VEXMOR_PID"
  e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "program did not end on SIGTERM"
}

# --- "Ctrl + Prt Scr键": Print, Ctrl+Print and Ctrl+Alt+Print are the keys ---------------------------
printf '[Software\\Vexmor]\nCapHotKeySel=1\n' >"$ini"
e2e_start_vexmor /tray
e2e_wait_for "main window" 30 e2e_main_windows
xdotool key Print
e2e_wait_for "overlay from plain Print with the Ctrl choice" 30 e2e_overlay_shown
xdotool key Escape
e2e_wait_for "overlay cancelled" 30 e2e_overlay_gone
xdotool key ctrl+Print
e2e_wait_for "overlay from Ctrl+Print with the Ctrl choice" 30 e2e_overlay_shown
xdotool key Escape
e2e_wait_for "overlay cancelled" 30 e2e_overlay_gone
stop_vexmor

# --- Alt+Print: the active window only -----------------------------------------------------------
e2e_start_wm_leaving_print
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\n' >"$ini"
e2e_spawn xmessage -geometry 300x120+200+150 -name probe "the active window"
probe_active() { xprop -root _NET_ACTIVE_WINDOW | grep -q 'window id # 0x[0-9a-f]*[1-9a-f]'; }
e2e_wait_for "active window" 20 probe_active
active=$(xprop -root _NET_ACTIVE_WINDOW | awk '{print $NF}')
extents=$(xprop -id "$active" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
read -r fl fr ft fb <<<"${extents:-0 0 0 0}"
eval "$(xwininfo -id "$active" | awk '/Width:/ {print "W=" $2} /Height:/ {print "H=" $2}')"
expected="$((W + fl + fr))x$((H + ft + fb))"

e2e_start_vexmor /tray
e2e_wait_for "main window under the window manager" 30 e2e_main_windows
xdotool key alt+Print
e2e_wait_for "overlay after Alt+Print" 30 e2e_overlay_shown
xdotool mousemove 640 400 click 1
e2e_wait_for "overlay confirmed" 30 e2e_overlay_gone
saved() { ls "$XDG_DESKTOP_DIR"/*.png >/dev/null 2>&1; }
e2e_wait_for "capture saved to the desktop" 30 saved
file=$(ls "$XDG_DESKTOP_DIR"/*.png | head -1)
got=$(identify -format '%wx%h' "$file")
e2e_check "Alt+Print grabbed the active window's frame ($expected, got $got)" test "$got" = "$expected"
# The same capture asked for on the command line, handed to the copy in the tray.
rm -f "$XDG_DESKTOP_DIR"/*.png
e2e_wait_for "the probe active again" 20 bash -c "xprop -root _NET_ACTIVE_WINDOW | grep -q '$active'"
"$VEXMOR_BIN" --capture=window
e2e_wait_for "overlay after --capture=window" 30 e2e_overlay_shown
"$VEXMOR_BIN" --capture  # confirms the open overlay, as the capture key would
e2e_wait_for "the command's capture saved" 30 saved
got=$(identify -format '%wx%h' "$(ls "$XDG_DESKTOP_DIR"/*.png | head -1)")
e2e_check "--capture=window grabbed the active window's frame ($expected, got $got)" test "$got" = "$expected"
stop_vexmor

# --- the tray menu's delayed capture --------------------------------------------------------------
printf '[Software\\Vexmor]\nJPGQSel=55\n' >"$ini"
e2e_spawn trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false
tray_icon() { xwininfo -root -tree | awk '/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'; }
icon_docked() { [ -n "$(tray_icon)" ]; }
# Right-clicks the icon, waits for the menu to map, picks an entry by keyboard, and waits for the menu
# to go again, so that one choice is handled before the next menu opens.
# The menu: a mapped window of the program's class without a title; unlike the docked icon (the other
# untitled one) it is an ordinary top-level, not an override window.
menu_open() {
  local w
  for w in $(xdotool search --onlyvisible --class '^Vexmor$' 2>/dev/null); do
    xprop -id "$w" WM_NAME 2>/dev/null | grep -qE '= ("")?$' || continue
    xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q OVERRIDE && continue
    return 0
  done
  return 1
}
menu_closed() { ! menu_open; }
tray_menu() {
  local id attempt
  e2e_wait_for "no tray menu open" 10 menu_closed
  # A click that reaches the icon before it is ready opens nothing: click again.
  for attempt in 1 2 3 4 5; do
    id=$(tray_icon)
    eval "$(xdotool getwindowgeometry --shell "$id")"
    xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
    e2e_poll 4 menu_open && break
  done
  e2e_wait_for "tray menu" 5 menu_open
  xdotool key "$@" Return
  e2e_wait_for "tray menu closed" 10 menu_closed
}
e2e_start_vexmor /tray
e2e_wait_for "tray icon docked" 30 icon_docked

started=$SECONDS
tray_menu Down Down  # "5秒后捕获屏幕"
e2e_wait_for "overlay from the 5-second entry" 30 e2e_overlay_shown
elapsed=$((SECONDS - started))
e2e_check "the delayed capture waited about 5 s (took ${elapsed} s)" test "$elapsed" -ge 4
xdotool key Escape
e2e_wait_for "overlay cancelled" 30 e2e_overlay_gone

tray_menu Down Down  # armed ...
tray_menu Down Down  # ... and disarmed by a second click
overlay_within_8s() { e2e_poll 8 e2e_overlay_shown; }
e2e_check "a second click cancels the pending capture" eval '! overlay_within_8s'

tray_menu Up  # "退出"
e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "the exit entry did not end the program"
e2e_check "exit entry ends with status 0 (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 0
e2e_check "settings saved at exit" grep -q '^JPGQSel=55$' "$ini"
e2e_check "every setting written at exit" grep -q '^AfterCaptureSel=' "$ini"
e2e_pass
