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

# A screen without 32-bit ARGB visuals: the refusal box "错误", nothing else; closing it ends the program.
e2e_start_xvfb 1024x768x16 -extension RENDER -extension Composite
n=${E2E_X_DISPLAY#:}
DISPLAY=":$n" e2e_spawn "$VEXMOR_BIN"
refused=$E2E_LAST_PID
DISPLAY=":$n" e2e_wait_for "refusal box" 30 xdotool search --onlyvisible --name '^错误$'
box=$(DISPLAY=":$n" xdotool search --onlyvisible --name '^错误$' | head -1)
e2e_check "the box is the only window shown" test "$(DISPLAY=":$n" xdotool search --onlyvisible --name '.' | wc -l)" = 1
DISPLAY=":$n" xdotool key --window "$box" Return
e2e_wait_exit "$refused" 20 || e2e_fail "the refused program did not end after its box was closed"
e2e_check "refusal exit status 1 (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 1
e2e_check "no settings written by a refused start" test ! -e "$XDG_CONFIG_HOME/Vexmor"

# No HOME at all.
kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 20 || e2e_fail "the first program did not end on SIGTERM"
e2e_spawn env -u HOME "$VEXMOR_BIN" /tray
e2e_wait_for "a start without HOME" 30 e2e_main_windows
e2e_check "runs without HOME" e2e_alive "$E2E_LAST_PID"
e2e_pass
