# Start-up: the program waits quietly in the tray with a hidden main window; a second start hands over.
e2e_start_vexmor /tray
e2e_wait_for "Vexmor main window" 30 e2e_main_windows
"$VEXMOR_BIN" /tray
demo_shot 10-startup "Vexmor started with /tray: running (pid $VEXMOR_PID), main window hidden; a second start handed over and exited"
