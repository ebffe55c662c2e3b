#!/usr/bin/env bash
# The display going away under the program: it ends by itself with status 1 (never by a signal),
# and what the run changed (here the main window's place) is in the settings file. Once the X
# server alone goes, once the server and the program are ended together, as at a session's end.
source "$(dirname "$0")/lib.sh"
e2e_init display_loss
ini="$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"

run_round() {
  local how=$1 x=$2 server win
  rm -f "$ini"
  e2e_start_x 1024x768x24
  server=$E2E_LAST_PID
  e2e_start_capture
  xdotool mousemove 500 400 click 1
  e2e_wait_for "the main window with the capture" 30 bash -c 'xdotool search --onlyvisible --name "^Vexmor$"'
  win=$(xdotool search --onlyvisible --name '^Vexmor$' | head -1)
  xdotool windowmove "$win" "$x" 120
  e2e_wait_for "the window at its new place" 20 bash -c '[ "$(xwininfo -id '"$win"' | awk "/Absolute upper-left X/{print \$NF}")" = '"$x"' ]'
  if [ "$how" = together ]; then
    kill -TERM "$VEXMOR_PID"
    kill -KILL "$server"
  else
    kill -TERM "$server"
  fi
  e2e_wait_exit "$VEXMOR_PID" 30 || e2e_fail "$how: the program did not end with its display"
  e2e_check "$how: ends with a status, not a signal (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" -lt 128
  if [ "$how" = server ]; then
    e2e_check "$how: status 1 (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 1
  fi
  e2e_check "$how: the window's place is saved" grep -qx "Left=$x" "$ini"
  wait "$server" 2>/dev/null || true
}

run_round server 300
run_round together 340
e2e_pass
