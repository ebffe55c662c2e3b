#!/usr/bin/env bash
# The grab through the real desktop portal, end to end on a headless sway: xdg-desktop-portal (the
# front-end) with the xdg-desktop-portal-wlr backend (which runs grim), on a private session bus, and
# PipeWire, which that backend needs to start at all. The front-end offers Screenshot only where some
# backend offers Access, which the wlr one does not: xdg-desktop-portal-gtk is started for that, as
# on a sway desktop that has it installed (the wlr backend's Screenshot is of version 1, for which
# the front-end skips its permission check: no dialog ever shows, no permission store is needed).
# With VEXMOR_WAYLAND_GRAB=portal a click saves the whole desktop exactly as grim shows it, and a
# Ctrl rectangle exactly its pixels, each capture after one request; the portal answers with the
# file it wrote, always /tmp/out.png, and the program removes it after each grab. When run as root
# (as in CI): another user's /tmp/out.png makes the portal refuse; the capture then fails with the
# program's message after one request, saves nothing and leaves that file as it was.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_real_portal
wl_prepare
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"
[ -x /usr/bin/python3 ] || e2e_fail "no /usr/bin/python3 to read the bus log"
for program in /usr/libexec/xdg-desktop-portal /usr/libexec/xdg-desktop-portal-wlr \
  /usr/libexec/xdg-desktop-portal-gtk /usr/bin/pipewire /usr/bin/dbus-monitor; do
  [ -x "$program" ] || e2e_fail "$program is not installed (scripts/deps.sh)"
done

# xdg-desktop-portal-wlr 0.7 has grim write every grab to this one path, whoever asks.
PORTAL_FILE=/tmp/out.png
if [ -e "$PORTAL_FILE" ] || [ -L "$PORTAL_FILE" ]; then
  e2e_fail "$PORTAL_FILE is already there ($(stat -c '%U, %y' "$PORTAL_FILE")): the wlr portal writes" \
    "every grab there, so this scenario cannot tell its own file from it; move it away first"
fi
decoy_made=0
real_portal_cleanup() {
  [ "$decoy_made" = 1 ] && rm -f "$PORTAL_FILE"
  e2e_cleanup
}
trap real_portal_cleanup EXIT

wl_background bg.png 1920x1080

wl_start_session_bus
# The Screenshot interface as the program asks for it: its version property.
screenshot_offered() {
  wl_run dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
    /org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get \
    string:org.freedesktop.portal.Screenshot string:version | grep -q 'uint32'
}
# Every Screenshot call and every request's answer, as the bus saw them.
start_bus_monitor "type='method_call',interface='org.freedesktop.portal.Screenshot'" \
  "type='signal',interface='org.freedesktop.portal.Request',member='Response'"

# XDG_CURRENT_DESKTOP=sway (set by wl_start_compositor) picks the wlr backend: version 1.16 of the
# front-end reads the UseIn line of /usr/share/xdg-desktop-portal/portals/wlr.portal.
wl_start_compositor 1 "output HEADLESS-1 resolution 1920x1080 position 0 0 bg $WL_FILES/bg.png stretch"
wl_spawn pipewire >"$E2E_DIR/pipewire.log" 2>&1
e2e_poll 20 test -S "$XDG_RUNTIME_DIR/pipewire-0" ||
  e2e_fail "pipewire did not open its socket: $(tail -5 "$E2E_DIR/pipewire.log")"
wl_spawn /usr/libexec/xdg-desktop-portal-wlr -l DEBUG >"$E2E_DIR/portal-wlr.log" 2>&1
e2e_poll 20 wl_name_owned org.freedesktop.impl.portal.desktop.wlr ||
  e2e_fail "xdg-desktop-portal-wlr did not come on the bus: $(tail -5 "$E2E_DIR/portal-wlr.log")"
wl_spawn env NO_AT_BRIDGE=1 /usr/libexec/xdg-desktop-portal-gtk >"$E2E_DIR/portal-gtk.log" 2>&1
e2e_poll 20 wl_name_owned org.freedesktop.impl.portal.desktop.gtk ||
  e2e_fail "xdg-desktop-portal-gtk did not come on the bus: $(tail -5 "$E2E_DIR/portal-gtk.log")"
wl_spawn /usr/libexec/xdg-desktop-portal -v >"$E2E_DIR/portal.log" 2>&1
e2e_poll 20 screenshot_offered ||
  e2e_fail "the portal offers no Screenshot: $(grep -v Monitoring "$E2E_DIR/portal.log" | tail -8)"
grep -q 'Using wlr.portal for org.freedesktop.impl.portal.Screenshot' "$E2E_DIR/portal.log" ||
  e2e_fail "the front-end does not take the wlr backend for Screenshot: $(grep -E 'Using|Falling' "$E2E_DIR/portal.log")"

# The Screenshot requests and their answers: one "RESPONSE SECONDS URI" a line, in order, with the
# time from the call to the answer.
answers() {
  /usr/bin/python3 - "$E2E_DIR/monitor.log" <<'PY'
import re, sys
calls, out, pending = [], [], None
for line in open(sys.argv[1], errors='replace'):
    m = re.match(r'(method call|signal) time=([0-9.]+) .*member=(\w+)', line)
    if m:
        if pending: out.append(pending)
        pending = None
        if m.group(3) == 'Screenshot': calls.append(float(m.group(2)))
        elif m.group(3) == 'Response' and calls:
            pending = [None, float(m.group(2)) - calls.pop(0), '-']
        continue
    if pending is None: continue
    m = re.match(r'\s*uint32 (\d+)', line)
    if m and pending[0] is None: pending[0] = m.group(1)
    m = re.match(r'\s*variant\s+string "(.*)"', line)
    if m: pending[2] = m.group(1)
if pending: out.append(pending)
for response, secs, uri in out:
    print(response, '%.3f' % secs, uri)
PY
}
answered() { [ "$(answers | grep -c .)" -ge "$1" ]; }
# The Nth answer's response code and uri, once it is complete on the log.
answer() { answers | sed -n "$1p"; }

wl_install_program
wl_input_start
settings 1
WL_ENV+=("VEXMOR_WAYLAND_GRAB=portal")
start_resident

# 1. A click saves the whole desktop, pixel for pixel the compositor's own picture of it.
wl_input move 700 500
wl_grim "$WL_FILES/before.png"
capture
wl_input press left
wl_input release left
saved_equals "1920 1080" "$WL_FILES/before.png" "the capture" "grim's picture of the desktop"
e2e_wait_for "the overlay to go after the click" 10 overlay_gone
e2e_wait_for "the portal's answer on the bus log" 10 answered 1
read -r response secs uri < <(answer 1)
e2e_log "the portal answered $response with $uri after $secs s"
e2e_check "the portal answered with success (got $response)" [ "$response" = 0 ]
e2e_check "the portal's file is $PORTAL_FILE (got $uri)" [ "$uri" = "file://$PORTAL_FILE" ]
e2e_check "the program removed the portal's file" [ ! -e "$PORTAL_FILE" ]
e2e_check "the capture asked the portal once (requests: $(bus_calls Screenshot))" [ "$(bus_calls Screenshot)" = 1 ]
rm -f "$DESK"/*

# 2. A second grab with the portal's path free again: a Ctrl rectangle is exactly its pixels.
wl_input move 650 250
wl_grim "$WL_FILES/region.png" -g "700,300 300x150"
capture
ctrl_rectangle 700 300 300 150
saved_equals "300 150" "$WL_FILES/region.png" "the rectangle" "grim's picture of it"
e2e_wait_for "the overlay to go after the rectangle" 10 overlay_gone
e2e_wait_for "the second answer on the bus log" 10 answered 2
read -r response secs uri < <(answer 2)
e2e_log "the portal answered $response with $uri after $secs s"
e2e_check "the second grab's answer is the same file (got $response $uri)" \
  [ "$response $uri" = "0 file://$PORTAL_FILE" ]
e2e_check "the program removed the portal's file again" [ ! -e "$PORTAL_FILE" ]
e2e_check "the second capture asked the portal once more (requests: $(bus_calls Screenshot))" [ "$(bus_calls Screenshot)" = 2 ]
rm -f "$DESK"/*

# 3. Another user's file where the portal writes: the portal cannot overwrite it and refuses, the
# capture fails with the program's message box, nothing is saved and the file is left alone.
if [ "$(id -u)" = 0 ]; then
  convert -size 1920x1080 xc:green -depth 8 "$PORTAL_FILE" || e2e_fail "cannot write $PORTAL_FILE"
  decoy_made=1
  chmod 0644 "$PORTAL_FILE"
  before=$(stat -c '%U %s %Y' "$PORTAL_FILE")-$(md5sum <"$PORTAL_FILE")
  message_boxes() { wl_swaymsg -t get_tree | grep -c '"name": "Vexmor"'; }
  boxes=$(message_boxes)
  box_added() { [ "$(message_boxes)" -gt "$boxes" ]; }
  wl_run "$WL_VEXMOR" --capture || e2e_fail "vexmor --capture failed"
  e2e_wait_for "the third answer on the bus log" 30 answered 3
  read -r response secs uri < <(answer 3)
  e2e_log "with another user's $PORTAL_FILE the portal answered $response ($uri) after $secs s"
  e2e_check "the portal refused (got $response)" [ "$response" = 2 ]
  e2e_wait_for "the program's message box" 20 box_added
  e2e_check "no overlay over a desktop that was not read" overlay_gone
  # The box comes once the grab is over: a refusal is not asked for again.
  e2e_check "the refused capture asked the portal once (requests: $(bus_calls Screenshot))" [ "$(bus_calls Screenshot)" = 3 ]
  e2e_check "nothing is saved ($(ls "$DESK"))" [ -z "$(ls -A "$DESK")" ]
  e2e_check "the other user's file is as it was" \
    [ "$(stat -c '%U %s %Y' "$PORTAL_FILE")-$(md5sum <"$PORTAL_FILE")" = "$before" ]
else
  e2e_log "not root: the case of another user's $PORTAL_FILE is left out"
fi
e2e_check "the program is still running" e2e_alive "$VEXMOR_PID"
e2e_pass
