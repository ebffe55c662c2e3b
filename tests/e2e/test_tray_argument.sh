#!/usr/bin/env bash
# The command line: /TRAY in any letter case and any position starts quietly; anything else (or
# nothing) opens the capture overlay at once. Either way SIGTERM ends the program cleanly.
source "$(dirname "$0")/lib.sh"
e2e_init tray_argument
e2e_start_x


# Starts the program with the given arguments and reports whether an overlay opened; ends it after.
start_and_look() {
  e2e_start_vexmor "$@"
  local pid=$VEXMOR_PID result=quiet
  e2e_wait_for "main window ($*)" 30 e2e_main_windows
  # The overlay, when there is one, is made before the main window's event loop starts.
  if e2e_poll 3 e2e_overlay_shown; then result=overlay; fi
  kill -TERM "$pid"
  e2e_wait_exit "$pid" 20 || e2e_fail "program ($*) did not end on SIGTERM"
  # Ending the program after an overlay has been shown (and its sounds loaded) is still clean.
  echo "$result $E2E_EXIT_STATUS"
}

for args in "/tray" "/Tray" "x /TRAY y"; do
  # shellcheck disable=SC2086
  e2e_check "'$args' starts quietly" test "$(start_and_look $args)" = "quiet 0"
done
for args in "-TRAY" "/TRAYX" ""; do
  # shellcheck disable=SC2086
  e2e_check "'$args' opens the overlay" test "$(start_and_look $args)" = "overlay 0"
done
e2e_pass
