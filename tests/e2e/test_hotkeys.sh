#!/usr/bin/env bash
# The capture hot keys as a user presses them: Print Screen opens the overlay while the program
# waits hidden, pressing it again confirms; Ctrl+Print Screen and Alt+Print Screen open it too; the
# keys work with NumLock and CapsLock on; a window manager holding some of the keys does not stop
# the others.
source "$(dirname "$0")/lib.sh"
e2e_init hotkeys
e2e_start_x

main_shown() { xdotool search --all --onlyvisible --class --name '^Vexmor$' >/dev/null 2>&1; }

e2e_start_vexmor /tray
e2e_wait_for "main window" 30 e2e_main_windows
e2e_check "no overlay at a /tray start" e2e_overlay_gone

xdotool key Print
e2e_wait_for "overlay after Print" 30 e2e_overlay_shown
# Any capture key while the overlay is open confirms the whole desktop.
xdotool key Print
e2e_wait_for "overlay confirmed by Print" 30 e2e_overlay_gone
e2e_wait_for "main window pops up with the capture" 30 main_shown
e2e_check "program still runs" e2e_alive "$VEXMOR_PID"

xdotool key ctrl+Print
e2e_wait_for "overlay after Ctrl+Print" 30 e2e_overlay_shown
xdotool key Escape
e2e_wait_for "overlay cancelled" 30 e2e_overlay_gone

xdotool key Num_Lock Caps_Lock
xdotool key alt+Print
e2e_wait_for "overlay after Alt+Print with the locks on" 30 e2e_overlay_shown
xdotool key alt+Print
e2e_wait_for "overlay confirmed with the locks on" 30 e2e_overlay_gone
xdotool key Num_Lock Caps_Lock

kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "program did not end on SIGTERM"
e2e_check "clean exit after captures (status $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 0

# Openbox's own configuration takes Print and Alt+Print for a screenshot tool of its own. Started
# after it, Vexmor does without those two (naming them in its settings tab) and keeps Ctrl+Print.
e2e_start_wm
e2e_start_vexmor /tray
e2e_wait_for "main window under a window manager" 30 e2e_main_windows
xdotool key Print
overlay_within_3s() { e2e_poll 3 e2e_overlay_shown; }
e2e_check "Print held by the window manager opens nothing" eval '! overlay_within_3s'
xdotool key ctrl+Print
e2e_wait_for "overlay after Ctrl+Print under a window manager" 30 e2e_overlay_shown
xdotool key Escape
e2e_wait_for "overlay cancelled under a window manager" 30 e2e_overlay_gone
e2e_pass
