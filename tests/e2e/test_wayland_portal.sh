#!/usr/bin/env bash
# The grab through the desktop portal's Screenshot service (as on GNOME and KDE), end to end on a
# headless sway with a fake portal on a private session bus: the capture's picture is the portal's,
# pixel for pixel, and the file the portal wrote for it is gone afterwards. VEXMOR_WAYLAND_GRAB=portal
# makes the program take the portal although sway also offers its screen copy.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_portal
wl_prepare
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"
[ -x /usr/bin/python3 ] || e2e_fail "no /usr/bin/python3 for the fake portal"

# The desktop shows one picture, the portal answers with another.
wl_background bg.png 1920x1080
convert -size 1920x1080 gradient:red-blue -depth 8 "$WL_FILES/portal.png"
mkdir -p "$WL_FILES/Pictures"
chmod a+r "$WL_FILES"/*.png
[ "$(id -u)" = 0 ] && chown -R "$(stat -c %u "$XDG_RUNTIME_DIR")" "$WL_FILES/Pictures"

wl_start_session_bus
portal=$(wl_copy_in "$(dirname "$0")/../fake_portal/fake_portal.py")
wl_spawn /usr/bin/python3 "$portal" --picture "$WL_FILES/portal.png" --folder "$WL_FILES/Pictures" \
  >"$E2E_DIR/portal.log" 2>&1
e2e_wait_for "the fake portal on the bus" 20 wl_name_owned org.freedesktop.portal.Desktop

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
