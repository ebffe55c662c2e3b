#!/usr/bin/env bash
# The tray as a desktop without one and as a StatusNotifierItem host offer it, end to end under a
# headless sway on a private session bus, with a notification server (dbusmock's) and later waybar's
# tray as the real item host:
#  - no tray: the held-key message (sway keeps every key) reaches the notification server, and a
#    second start shows the hidden window;
#  - waybar starting later: the item registers, its tooltip reads "Vexmor (空)", the host's click
#    (Activate) hides and shows the main window, a second start leaves the hidden window hidden,
#    the menu's "设置" shows the window and its "退出" ends the program;
#  - a start with the tray already there: the item registers and its click shows the window.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init sni_tray
wl_prepare
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"
command -v waybar >/dev/null || e2e_fail "waybar is not installed (scripts/deps.sh)"
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || e2e_fail "python3-dbusmock is not installed (scripts/deps.sh)"

wl_start_session_bus
wl_spawn /usr/bin/python3 -m dbusmock --template notification_daemon -l "$WL_FILES/notices.log" \
  >"$E2E_DIR/notices.out" 2>&1
e2e_wait_for "the notification server on the bus" 20 wl_name_owned org.freedesktop.Notifications
wl_start_compositor 1 "output HEADLESS-1 resolution 1280x720 position 0 0"
wl_install_program
settings 1

gcall() { wl_run gdbus call --session "$@" 2>>"$E2E_DIR/gdbus.err"; }
# Shown top-level windows titled "Vexmor" in sway's tree (a hidden Qt window has no surface there).
main_windows() {
  wl_swaymsg -r -t get_tree | python3 -c '
import json, sys
def walk(n):
    if n.get("name") == "Vexmor" and n.get("visible"): yield n
    for k in n.get("nodes", []) + n.get("floating_nodes", []): yield from walk(k)
print(sum(1 for _ in walk(json.load(sys.stdin))))'
}
main_shown() { [ "$(main_windows)" -ge 1 ]; }
main_hidden() { [ "$(main_windows)" = 0 ]; }
told() { grep -q "$1" "$WL_FILES/notices.log" 2>/dev/null; }

# --- no tray ----------------------------------------------------------------------------------
start_resident
e2e_wait_for "the held-key message as a desktop notification" 30 told 'Notify "Vexmor"'
e2e_check "the notification names sway as the keeper of the keys ($(grep Notify "$WL_FILES/notices.log" | head -1))" \
  told 'sway 自己保留了以下热键'
e2e_check "the notification has the program's icon" told '"Vexmor" 0 "vexmor" "Vexmor"'
e2e_check "the window starts hidden" main_hidden
wl_run "$WL_VEXMOR" || e2e_fail "the second start failed"
e2e_wait_for "the main window shown by a second start without a tray" 30 main_shown

# --- waybar's tray appears ----------------------------------------------------------------------
printf '{"layer": "top", "position": "top", "height": 26, "modules-right": ["tray"], "tray": {"spacing": 4}}\n' \
  >"$WL_FILES/waybar.json"
printf 'window#waybar { background: #202020; }\n' >"$WL_FILES/waybar.css"
chmod a+r "$WL_FILES"/waybar.*
wl_spawn waybar -c "$WL_FILES/waybar.json" -s "$WL_FILES/waybar.css" >"$E2E_DIR/waybar.log" 2>&1
items() {
  gcall --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
    --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems
}
item_registered() { items | grep -q "'[^']"; }
e2e_wait_for "the program's item registered with waybar's watcher" 30 item_registered
entry=$(items | grep -o "'[^']*'" | head -1 | tr -d "'")
ITEM=${entry%%/*}
ITEM_PATH=/${entry#*/}
[ "$ITEM_PATH" = "/$entry" ] && ITEM_PATH=/StatusNotifierItem
e2e_log "item $ITEM at $ITEM_PATH"
prop() { gcall --dest "$ITEM" --object-path "$ITEM_PATH" --method org.freedesktop.DBus.Properties.Get \
  org.kde.StatusNotifierItem "$1"; }
tooltip=$(prop ToolTip)
e2e_check "the item's tooltip is \"Vexmor (空)\" ($tooltip)" grep -q "'Vexmor (空)'" <<<"$tooltip"
activate() { gcall --dest "$ITEM" --object-path "$ITEM_PATH" --method org.kde.StatusNotifierItem.Activate 0 0 >/dev/null ||
  e2e_fail "Activate failed: $(tail -2 "$E2E_DIR/gdbus.err")"; }
activate
e2e_wait_for "the host's click hiding the shown window" 30 main_hidden
activate
e2e_wait_for "the host's click showing the hidden window" 30 main_shown
activate
e2e_wait_for "the host's click hiding it again" 30 main_hidden
# With a tray the design's hidden window stays hidden on a second start: the click after it shows
# the window (had the start shown it, the click would hide it).
wl_run "$WL_VEXMOR" || e2e_fail "the second start with a tray failed"
activate
e2e_wait_for "the window shown by the click after a second start" 30 main_shown
activate
e2e_wait_for "the window hidden before the menu is tried" 30 main_hidden

# --- the item's menu ----------------------------------------------------------------------------
menu=$(prop Menu | grep -o "'/[^']*'" | tr -d "'")
[ -n "$menu" ] || e2e_fail "the item names no menu: $(prop Menu)"
layout=$(gcall --dest "$ITEM" --object-path "$menu" --method com.canonical.dbusmenu.GetLayout -- 0 -1 '[]')
entry_id() { python3 -c '
import re, sys
m = re.search(r"\((\d+), \{[^}]*'"'"'label'"'"': <'"'"'" + sys.argv[1] + "'"'"'>", sys.stdin.read())
print(m.group(1) if m else "")' "$1" <<<"$layout"; }
settings_id=$(entry_id "设置")
exit_id=$(entry_id "退出")
e2e_check "the menu has its capture entry" grep -q "'立即捕获屏幕'" <<<"$layout"
[ -n "$settings_id" ] && [ -n "$exit_id" ] || e2e_fail "no 设置 or 退出 entry in the menu: $layout"
click() { gcall --dest "$ITEM" --object-path "$menu" --method com.canonical.dbusmenu.Event "$1" clicked '<0>' 0 >/dev/null ||
  e2e_fail "the menu's Event failed: $(tail -2 "$E2E_DIR/gdbus.err")"; }
click "$settings_id"
e2e_wait_for "the main window shown by the menu's 设置" 30 main_shown
click "$exit_id"
e2e_wait_exit "$VEXMOR_PID" 30 || e2e_fail "the program did not end by the menu's 退出"
e2e_check "the program ended with status 0 (got $E2E_EXIT_STATUS)" [ "$E2E_EXIT_STATUS" = 0 ]

# --- a start with waybar's tray already there: the icon is an item from the first moment --------
OLD_ITEM=$ITEM
new_item() { items | grep -o "'[^']*'" | tr -d "'" | grep -v "^$OLD_ITEM/" | head -1; }
start_resident
has_new_item() { [ -n "$(new_item)" ]; }
e2e_wait_for "the new copy's item registered" 30 has_new_item
entry=$(new_item)
ITEM=${entry%%/*}
activate
e2e_wait_for "the host's click showing the new copy's window" 30 main_shown
e2e_pass
