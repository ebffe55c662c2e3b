#!/usr/bin/env bash
# GNOME for real: a headless GNOME Shell (software rendering) with xdg-desktop-portal and its GNOME
# backend, on a private session bus and a second private bus as the system bus. Captures are asked
# for with `vexmor --capture` (no input reaches a headless shell from a test).
#   The capture keys, which the desktop does not bind, are said in a notification to be kept by GNOME.
#   1. The first capture meets the shell's "Allow Applications to Take Screenshots?" dialog: the user
#      is told once, through the shell's notifications, that the desktop asks; the program waits on
#      past the portal's own give-up (about 25 s), saying nothing has failed.
#   2. The grant is stored as "Allow" stores it; the next `--capture` withdraws the pending request
#      (Request.Close, no error), and the one after opens the overlay.
#   3. The saved desktop equals the shell's own picture of it, taken through the portal by the test
#      just before.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init gnome_portal
wl_prepare
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"

SIZE=1280x720
wl_background shown.png "$SIZE"
wl_start_session_bus
wl_start_system_bus
start_bus_monitor "type='method_call',interface='org.freedesktop.portal.Screenshot'" \
  "type='method_call',interface='org.freedesktop.portal.Request'" \
  "type='method_call',destination='org.freedesktop.Notifications',member='Notify'"
wl_install_program
wl_start_gnome "$SIZE"
wl_start_gnome_portal
show_picture shown.png

painted() { grep -c "overlay ${SIZE} painted" "$E2E_DIR/vexmor.out"; }
failed() { grep "无法捕获屏幕" "$E2E_DIR/vexmor.out"; }
settings 1
start_resident VEXMOR_CAPTURE_TIMING=1

# 1. The dialog, unanswered.
asked=$SECONDS
wl_run "$WL_VEXMOR" --capture || e2e_fail "vexmor --capture failed"
e2e_wait_for "the portal asking the user" 30 grep -q "No 'screenshot' permissions found" "$E2E_DIR/portal.log"
e2e_wait_for "the notice of the dialog" 30 grep -q "桌面会先询问是否允许 Vexmor 截取屏幕" "$E2E_DIR/monitor.log"
e2e_wait_for "the portal giving up on its dialog" 60 grep -q "Failed to show access dialog" "$E2E_DIR/portal.log"
# Whatever the portal does, the program keeps waiting for thirty seconds at least.
while [ $((SECONDS - asked)) -lt 31 ]; do sleep 1; done
e2e_check "no failure told while the dialog waits: $(failed)" [ -z "$(failed)" ]
e2e_check "no overlay yet" [ "$(painted)" = 0 ]

# 2. "Allow", as the shell stores it; the pending request is withdrawn, the next capture goes through.
wl_grant_screenshots
wl_run "$WL_VEXMOR" --capture || e2e_fail "the withdrawing vexmor --capture failed"
e2e_wait_for "the pending request closed" 30 bash -c '[ "$(grep -c "member=Close$" "$0")" -ge 1 ]' "$E2E_DIR/monitor.log"
# 3. The shell's own picture of the desktop (its dialog still up), through the portal, before the
# program's capture of it.
wl_run /usr/bin/python3 - "$WL_FILES/reference.png" <<'PY' || e2e_fail "the test's own portal screenshot failed"
import shutil, sys
from gi.repository import Gio, GLib
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
token = 'reference'
path = '/org/freedesktop/portal/desktop/request/%s/%s' % (bus.get_unique_name()[1:].replace('.', '_'), token)
loop, answer = GLib.MainLoop(), []
bus.signal_subscribe(None, 'org.freedesktop.portal.Request', 'Response', path, None, 0,
                     lambda *a: (answer.append(a[5].unpack()), loop.quit()))
bus.call_sync('org.freedesktop.portal.Desktop', '/org/freedesktop/portal/desktop', 'org.freedesktop.portal.Screenshot',
              'Screenshot', GLib.Variant('(sa{sv})', ('', {'handle_token': GLib.Variant('s', token),
                                                        'interactive': GLib.Variant('b', False)})), None, 0, 30000, None)
GLib.timeout_add(30000, loop.quit)
loop.run()
if not answer or answer[0][0] != 0: sys.exit('no picture: %r' % (answer,))
shutil.move(answer[0][1]['uri'][len('file://'):], sys.argv[1])
PY
wl_run "$WL_VEXMOR" --capture || e2e_fail "vexmor --capture failed"
e2e_wait_for "the overlay painted" 30 bash -c '[ "$(grep -c "overlay $1 painted" "$0")" -ge 1 ]' \
  "$E2E_DIR/vexmor.out" "$SIZE"
wl_run "$WL_VEXMOR" --capture || e2e_fail "the finishing vexmor --capture failed"
e2e_check "still no failure told: $(failed)" [ -z "$(failed)" ]
notices=$(grep -c "桌面会先询问是否允许 Vexmor 截取屏幕" "$E2E_DIR/monitor.log")
e2e_check "the notice was given once (got $notices)" [ "$notices" = 1 ]
e2e_check "the keys are said to be kept by GNOME" grep -q "GNOME 自己保留了以下热键" "$E2E_DIR/monitor.log"
e2e_check "the program's two requests and the test's (Screenshot calls: $(bus_calls Screenshot))" \
  [ "$(bus_calls Screenshot)" = 3 ]

saved_equals "${SIZE/x/ }" "$WL_FILES/reference.png" "the capture" "the shell's own picture"
e2e_check "the program is still running" e2e_alive "$VEXMOR_PID"
round_trip=$(grep -o 'grab [0-9.]* ms' "$E2E_DIR/vexmor.out" | tail -1)
e2e_log "figures: $round_trip; $(grep 'overlay flushed' "$E2E_DIR/vexmor.out" | tail -1)"
e2e_pass
