#!/usr/bin/env bash
# The grab through the desktop portal's Screenshot service (as on GNOME and KDE), end to end on a
# headless sway with a fake portal on a private session bus: the capture's picture is the portal's,
# pixel for pixel, and the file the portal wrote for it is gone afterwards. VEXMOR_WAYLAND_GRAB=portal
# makes the program take the portal although sway also offers its screen copy.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_portal
export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/test-bus"
wl_prepare
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"
[ -x /usr/bin/python3 ] || e2e_fail "no /usr/bin/python3 for the fake portal"

# The desktop shows one picture, the portal answers with another.
convert -size 480x270 xc:gray -seed 7 +noise Random -depth 8 "$E2E_DIR/tile.png"
convert -size 1920x1080 tile:"$E2E_DIR/tile.png" -depth 8 "$WL_FILES/bg.png"
convert -size 1920x1080 gradient:red-blue -depth 8 "$WL_FILES/portal.png"
mkdir -p "$WL_FILES/Pictures"
chmod a+r "$WL_FILES"/*.png
[ "$(id -u)" = 0 ] && chown -R "$(stat -c %u "$XDG_RUNTIME_DIR")" "$WL_FILES/Pictures"

cat >"$E2E_DIR/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>$DBUS_SESSION_BUS_ADDRESS</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
CONF
chmod a+r "$E2E_DIR/bus.conf"
wl_spawn dbus-daemon --nofork --config-file="$E2E_DIR/bus.conf" >"$E2E_DIR/bus.log" 2>&1
e2e_wait_for "the private session bus" 20 test -S "$XDG_RUNTIME_DIR/test-bus"
portal=$(wl_copy_in "$(dirname "$0")/../fake_portal/fake_portal.py")
wl_spawn /usr/bin/python3 "$portal" --picture "$WL_FILES/portal.png" --folder "$WL_FILES/Pictures" \
  >"$E2E_DIR/portal.log" 2>&1
portal_up() {
  wl_run dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.portal.Desktop | grep -q 'boolean true'
}
e2e_wait_for "the fake portal on the bus" 20 portal_up

wl_start_compositor 1 "output HEADLESS-1 resolution 1920x1080 position 0 0 bg $WL_FILES/bg.png stretch"
wl_install_program
wl_input_start
settings 1
WL_ENV+=("VEXMOR_WAYLAND_GRAB=portal")
start_resident
wl_input move 700 500
capture
wl_input press left
wl_input release left
saved_equals "1920 1080" "$WL_FILES/portal.png" "the capture" "the portal's picture"
e2e_check "the portal's file is removed ($(ls "$WL_FILES/Pictures"))" [ -z "$(ls -A "$WL_FILES/Pictures")" ]
e2e_check "the program is still running" e2e_alive "$VEXMOR_PID"
e2e_pass
