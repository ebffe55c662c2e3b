#!/usr/bin/env bash
# Start-up as a user meets it: a plain start keeps running with its hidden main window; a second
# start hands over and exits at once, and shows the window (there is no tray); a stale socket from a
# killed instance does not block a start.
source "$(dirname "$0")/lib.sh"
e2e_init startup
e2e_start_x

main_window_exists() { e2e_main_windows >/dev/null; }
main_window_hidden() { ! xdotool search --all --onlyvisible --class --name '^Vexmor$' >/dev/null; }

e2e_start_vexmor /tray
first=$VEXMOR_PID
e2e_wait_for "hidden main window" 30 main_window_exists
e2e_check "first instance keeps running" e2e_alive "$first"
e2e_check "main window stays hidden" main_window_hidden

# A second start exits 0 within 2 seconds and the first keeps running.
start=$(date +%s%N)
"$VEXMOR_BIN"
status=$?
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
e2e_check "second start exits 0 (was $status)" test "$status" = 0
e2e_check "second start exits within 2 s (took ${elapsed_ms} ms)" test "$elapsed_ms" -lt 2000
e2e_check "first instance still runs" e2e_alive "$first"
e2e_check "only one main window" test "$(e2e_main_windows | wc -l)" = 1
# Without a tray nothing else leads back to the hidden window: the second start shows it.
main_window_shown() { xdotool search --all --onlyvisible --class --name '^Vexmor$' >/dev/null; }
e2e_wait_for "the main window shown by the second start (no tray here)" 30 main_window_shown

# A killed instance leaves its socket behind; the next start must take it over.
kill -KILL "$first"
e2e_wait_exit "$first" 10 || e2e_fail "killed instance did not end"
e2e_check "stale socket left behind" bash -c "ls \"$XDG_RUNTIME_DIR\" | grep -q TVexmorMainForm"
e2e_start_vexmor /TRAY
second=$VEXMOR_PID
e2e_wait_for "main window after a stale socket" 30 main_window_exists
e2e_check "new instance runs after a crash" e2e_alive "$second"
"$VEXMOR_BIN" /tray
e2e_check "a later start still hands over to it" test $? = 0

# SIGTERM ends the program through its normal exit, with status 0.
kill -TERM "$second"
e2e_wait_exit "$second" 10 || e2e_fail "SIGTERM did not end the program"
e2e_check "SIGTERM exit status 0 (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 0
e2e_pass
