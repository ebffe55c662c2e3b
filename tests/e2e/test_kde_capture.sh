#!/usr/bin/env bash
# KDE Plasma for real: a headless KWin (OpenGL on the software rasteriser) with xdg-desktop-portal and
# its KDE backend, on a private session bus and a second private bus as the system bus. Without
# plasmashell the desktop is black: the probe window shows a known picture full screen. Each capture
# is opened by `vexmor --capture` and finished by a second one (no input reaches a headless KWin from
# a test), which saves the whole desktop; the saved picture must equal the picture on screen.
#   1. Through the portal (VEXMOR_WAYLAND_GRAB=portal) without a pictures folder: the program makes
#      it, the KDE portal (which saves there and refuses without it) answers, its file is removed.
#   2. The same with the folder there.
#   3. The installed desktop entry authorises KWin's ScreenShot2: the capture asks KWin, not the portal.
# And throughout: the capture keys' CreateSession and BindShortcuts each go out once, the session
# made with the shortcuts as a(sa{sv}), whatever the captures do.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init kde_capture
wl_prepare
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"
for program in /usr/bin/dbus-monitor /usr/bin/kbuildsycoca5 /usr/bin/python3; do
  [ -x "$program" ] || e2e_fail "$program is not installed (scripts/deps.sh)"
done

SIZE=1280x720
wl_background shown.png "$SIZE"
wl_start_session_bus
wl_start_system_bus
start_bus_monitor "type='method_call',interface='org.freedesktop.portal.GlobalShortcuts'" \
  "type='method_call',interface='org.freedesktop.portal.Screenshot'" \
  "type='method_call',interface='org.kde.KWin.ScreenShot2'" "type='error'"
wl_install_program
# KWin finds the installed entry (and so the program's authorisation) through the data folders.
WL_ENV+=("XDG_DATA_DIRS=$WL_PREFIX/share:/usr/share")
wl_start_kwin "$SIZE"
wl_start_kde_portal

show_picture shown.png

painted() { grep -c "overlay ${SIZE} painted" "$E2E_DIR/vexmor.out"; }
# Opens the overlay, waits for its first frame, finishes it with a second command and checks the
# saved desktop.
capture_and_check() { # LABEL
  local before
  before=$(painted)
  wl_run "$WL_VEXMOR" --capture || e2e_fail "vexmor --capture failed"
  e2e_wait_for "the overlay painted ($1)" 30 bash -c '[ "$(grep -c "overlay $1 painted" "$2")" -gt "$3" ]' _ \
    "$SIZE" "$E2E_DIR/vexmor.out" "$before"
  wl_run "$WL_VEXMOR" --capture || e2e_fail "the second vexmor --capture failed"
  saved_equals "${SIZE/x/ }" "$WL_FILES/shown.png" "$1" "the picture on screen"
  rm -f "$DESK"/*
}
resident() { # ENV...
  : >"$E2E_DIR/vexmor.out"
  start_resident VEXMOR_CAPTURE_TIMING=1 "$@"
}
settings 1

# 1 and 2: the portal's path, first without the pictures folder.
PICTURES="$HOME/Pictures"
rm -rf "$PICTURES"
resident VEXMOR_WAYLAND_GRAB=portal
e2e_wait_for "the capture keys bound" 30 bash -c '[ "$(grep -c "member=BindShortcuts$" "$0")" -ge 1 ]' "$E2E_DIR/monitor.log"
capture_and_check "the portal's capture without a pictures folder"
e2e_check "the pictures folder was made" [ -d "$PICTURES" ]
capture_and_check "the portal's capture with the folder there"
# Now and then the KDE portal loses the picture KWin pipes to it ("libpng error" in its log) and answers
# "cancelled"; the program asks once more for a picture a portal without a dialog lost.
asked() { echo $((2 + $(grep -c "libpng error" "$E2E_DIR/portal-kde.log"))); }
e2e_check "the portal asked twice, and once more for each lost picture (Screenshot calls: $(bus_calls Screenshot))" \
  [ "$(bus_calls Screenshot)" = "$(asked)" ]
e2e_check "the portal's files are removed ($(ls "$PICTURES"))" [ -z "$(ls -A "$PICTURES")" ]
e2e_check "KWin was not asked behind the portal's back" [ "$(bus_calls CaptureWorkspace)" = 0 ]
kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 10 || e2e_fail "the program did not end"

# The shortcuts of that run: one session, made with its shortcuts as a(sa{sv}), bound once although
# two captures came and went.
e2e_check "one CreateSession (got $(bus_calls CreateSession))" [ "$(bus_calls CreateSession)" = 1 ]
e2e_check "one BindShortcuts (got $(bus_calls BindShortcuts))" [ "$(bus_calls BindShortcuts)" = 1 ]
shortcuts_typed() {
  /usr/bin/python3 - "$E2E_DIR/monitor.log" <<'PY'
import re, sys
text = open(sys.argv[1], errors='replace').read()
call = text[text.index('member=CreateSession'):]
call = call[:call.find('method call', 1) if call.find('method call', 1) > 0 else len(call)]
# the option's value: a variant holding an array of structs of a string and a string-variant dict
m = re.search(r'string "shortcuts"\s+variant\s+array \[\s+struct \{\s+string "capture-\w+"\s+array \[\s+dict entry\(\s+string "\w+"\s+variant', call)
sys.exit(0 if m else 1)
PY
}
e2e_check "CreateSession names the shortcuts as a(sa{sv})" shortcuts_typed
e2e_check "the KDE portal read them without complaint" \
  bash -c '! grep -q "Wrong global shortcuts type" "$0"' "$E2E_DIR/portal-kde.log"

# 3. KWin's own interface, authorised by the installed desktop entry.
wl_run kbuildsycoca5 >"$E2E_DIR/sycoca.log" 2>&1 || e2e_fail "kbuildsycoca5 failed: $(tail -3 "$E2E_DIR/sycoca.log")"
resident
capture_and_check "KWin's capture"
e2e_check "the capture asked KWin (CaptureWorkspace calls: $(bus_calls CaptureWorkspace))" [ "$(bus_calls CaptureWorkspace)" = 1 ]
e2e_check "and not the portal (Screenshot calls: $(bus_calls Screenshot))" [ "$(bus_calls Screenshot)" = "$(asked)" ]
e2e_check "the program is still running" e2e_alive "$VEXMOR_PID"
e2e_pass
