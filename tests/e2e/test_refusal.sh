#!/usr/bin/env bash
# Without any display the program refuses on stderr with status 1, and never hangs.
source "$(dirname "$0")/lib.sh"
e2e_init refusal
unset DISPLAY WAYLAND_DISPLAY
out="$E2E_DIR/stderr"
timeout 20 "$VEXMOR_BIN" >/dev/null 2>"$out"
status=$?
e2e_check "exit status 1 without a display (was $status)" test "$status" = 1
e2e_check "refusal text on stderr" grep -q 'Vexmor需要运行于Windows XP或更高的系统。' "$out"

# An unwritable home and long, odd arguments still give a clear outcome.
e2e_start_x
chmod 0500 "$HOME"
long=$(head -c 20000 /dev/zero | tr '\0' 'x')
e2e_start_vexmor /tray "$long" $'\xff\xfe' "-TRAY" "/TRAYX"
e2e_wait_for "main window with an unwritable home" 30 e2e_main_windows
e2e_check "runs with an unwritable home" e2e_alive "$VEXMOR_PID"
chmod 0700 "$HOME"
e2e_pass
