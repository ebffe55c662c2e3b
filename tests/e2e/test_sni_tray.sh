#!/usr/bin/env bash
# The tray as a desktop without one and as a StatusNotifierItem host offer it, end to end under a
# headless sway on a private session bus, with dbusmock's notification server and later waybar's
# tray as the real item host:
#  - no tray: the held-key message (sway keeps every key) reaches the notification server, and a
#    second start shows the hidden window;
#  - waybar starting later: the item registers, its tooltip reads "Vexmor (空)", the host's click
#    (Activate) hides and shows the main window, a second start leaves the hidden window hidden,
#    the menu's "设置" shows the window, a held capture makes the tooltip "Vexmor (满)", and the
#    menu's "退出" ends the program;
#  - a start with the tray already there: the item registers and its click shows the window.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
source "$(dirname "$0")/tray_lib.sh"
e2e_init sni_tray
wl_prepare
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"
command -v waybar >/dev/null || e2e_fail "waybar is not installed (scripts/deps.sh)"
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || e2e_fail "python3-dbusmock is not installed (scripts/deps.sh)"
SNI_RUN=(wl_run)

wl_start_session_bus
wl_spawn /usr/bin/python3 -m dbusmock --template notification_daemon -l "$WL_FILES/notices.log" \
  >"$E2E_DIR/notices.out" 2>&1
e2e_wait_for "the notification server on the bus" 20 wl_name_owned org.freedesktop.Notifications
wl_start_compositor 1 "output HEADLESS-1 resolution 1280x720 position 0 0"
wl_install_program
settings 0 # a capture stays in the program: the tooltip tells it
told() { grep -q "$1" "$WL_FILES/notices.log" 2>/dev/null; }

# --- no tray ----------------------------------------------------------------------------------
start_resident
e2e_wait_for "the held-key message as a desktop notification" 30 told 'Notify "Vexmor"'
e2e_check "the notification, with the program's icon, names sway as the keeper of the keys
  ($(grep Notify "$WL_FILES/notices.log" | head -1))" told '"Vexmor" 0 "vexmor" "Vexmor" "sway 自己保留了以下热键'
e2e_check "the window starts hidden" wl_main_hidden
wl_run "$WL_VEXMOR" || e2e_fail "the second start failed"
e2e_wait_for "the main window shown by a second start without a tray" 30 wl_main_shown

# --- waybar's tray appears ----------------------------------------------------------------------
printf '{"layer": "top", "height": 26, "modules-right": ["tray"]}\n' >"$WL_FILES/waybar.json"
printf 'window#waybar { background: #202020; }\n' >"$WL_FILES/waybar.css"
chmod a+r "$WL_FILES"/waybar.*
wl_spawn waybar -c "$WL_FILES/waybar.json" -s "$WL_FILES/waybar.css" >"$E2E_DIR/waybar.log" 2>&1
sni_wait_item "the program's item registered with waybar's watcher"
tooltip=$(sni_prop ToolTip)
e2e_check "the item's tooltip is \"Vexmor (空)\" ($tooltip)" grep -q "'Vexmor (空)'" <<<"$tooltip"
sni_activate
e2e_wait_for "the host's click hiding the shown window" 30 wl_main_hidden
sni_activate
e2e_wait_for "the host's click showing the hidden window" 30 wl_main_shown
sni_activate
e2e_wait_for "the host's click hiding it again" 30 wl_main_hidden
# With a tray the design's hidden window stays hidden on a second start: the click after it shows
# the window (had the start shown it, the click would hide it).
wl_run "$WL_VEXMOR" || e2e_fail "the second start with a tray failed"
sni_activate
e2e_wait_for "the window shown by the click after a second start" 30 wl_main_shown
sni_activate
e2e_wait_for "the window hidden before the menu is tried" 30 wl_main_hidden
sni_menu_click "设置"
e2e_wait_for "the main window shown by the menu's 设置" 30 wl_main_shown
sni_activate
e2e_wait_for "the window hidden before the capture" 30 wl_main_hidden
# A held capture: the tooltip says so. (This copy told its message by notification: Qt shows a
# message in an item's tooltip for the message's 15 s, which a later copy's start would do.)
wl_input_start
wl_input move 600 400
capture
wl_input press left
wl_input release left
tooltip_full() { sni_prop ToolTip | grep -q "'Vexmor (满)'"; }
e2e_wait_for "the tooltip \"Vexmor (满)\" while a capture is held" 30 tooltip_full
e2e_wait_for "the held capture on the main window" 30 wl_main_shown
sni_menu_click "退出"
e2e_wait_exit "$VEXMOR_PID" 30 || e2e_fail "the program did not end by the menu's 退出"
e2e_check "the program ended with status 0 (got $E2E_EXIT_STATUS)" [ "$E2E_EXIT_STATUS" = 0 ]

# --- a start with waybar's tray already there: the icon is an item from the first moment --------
start_resident
sni_wait_item "the new copy's item registered" "$SNI_ITEM"
sni_activate
e2e_wait_for "the host's click showing the new copy's window" 30 wl_main_shown
e2e_pass
