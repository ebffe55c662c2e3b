# The tray icon, the main window and the tray menu as a user meets them under trayer, for the
# scenarios and the demo (sourced after lib.sh); at the end the same through a StatusNotifierItem host.
#
#   tray_icon        the docked icon: the program's window inside the tray's panel
#   icon_docked      whether it is there
#   icon_click B [N] clicks button B (N times) on the icon
#   icon_menu        right-clicks the icon until its menu is mapped (a click may go astray under load,
#                    or the menu close at once, as a user's click sometimes does): fails after 5 clicks
#   visible_main     the shown main window (the icon is a window of the program's class and title too)
#   main_shown, main_hidden
#   menu_open        a popup menu of the program is mapped: a window of its own placing
#                    (override-redirect) that is neither its tool tip nor the docked icon (Qt marks the
#                    menu a normal window and the docked icon an override one)
#   menu_closed

tray_icon() { xwininfo -root -tree | awk '/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'; }
icon_docked() { [ -n "$(tray_icon)" ]; }
icon_click() {
  eval "$(xdotool getwindowgeometry --shell "$(tray_icon)")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat "${2:-1}" --delay 80 "$1"
}
icon_menu() {
  local try
  for try in 1 2 3 4 5; do
    icon_click 3
    e2e_poll 6 menu_open && return 0
    e2e_log "no tray menu after a right click (click $try)"
  done
  e2e_fail "no tray menu after 5 right clicks on the icon"
}
visible_main() {
  local icon id
  icon=$(tray_icon)
  # Both its class and its title: the card's class is the program's too.
  for id in $(xdotool search --all --onlyvisible --class --name '^Vexmor$' 2>/dev/null); do
    [ -n "$icon" ] && [ "$((id))" = "$((icon))" ] && continue
    echo "$id"
    return
  done
}
main_shown() { [ -n "$(visible_main)" ]; }
main_hidden() { [ -z "$(visible_main)" ]; }
menu_open() {
  local id icon
  icon=$(tray_icon)
  for id in $(xdotool search --onlyvisible --class vexmor 2>/dev/null); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && continue
    xwininfo -id "$id" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
    [ -n "$icon" ] && [ "$((id))" = "$((icon))" ] && continue
    return 0
  done
  return 1
}
menu_closed() { ! menu_open; }

# --- a StatusNotifierItem host (waybar's tray), reached through the session bus as a host calls the
# item; commands run by $SNI_RUN (default: directly; a Wayland scenario sets wl_run) --------------
#   sni_item [NOT]     "SERVICE PATH" of the first registered item whose service is not NOT
#   sni_wait_item LABEL [NOT]   waits for one, into $SNI_ITEM and $SNI_PATH
#   sni_prop NAME      one of the item's properties, as gdbus prints it
#   sni_activate       the host's click (Activate 0 0)
#   sni_menu_click LABEL       the item's menu entry of that label "clicked" (com.canonical.dbusmenu)
SNI_RUN=()
sni_call() { "${SNI_RUN[@]}" gdbus call --session "$@" 2>>"$E2E_DIR/gdbus.err"; }
sni_item() {
  local entry
  entry=$(sni_call --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher --method \
    org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher RegisteredStatusNotifierItems |
    grep -o "'[^']*'" | tr -d "'" | grep -v "^${1:-(none)}/" | head -1)
  [ -n "$entry" ] || return 1
  # An item registered by its bus name alone is at the standard path.
  case $entry in */*) echo "${entry%%/*} /${entry#*/}" ;; *) echo "$entry /StatusNotifierItem" ;; esac
}
sni_wait_item() {
  e2e_wait_for "$1" 30 sni_item "${2:-}"
  read -r SNI_ITEM SNI_PATH < <(sni_item "${2:-}")
  e2e_log "item $SNI_ITEM at $SNI_PATH"
}
sni_prop() { sni_call --dest "$SNI_ITEM" --object-path "$SNI_PATH" --method org.freedesktop.DBus.Properties.Get \
  org.kde.StatusNotifierItem "$1"; }
sni_activate() {
  sni_call --dest "$SNI_ITEM" --object-path "$SNI_PATH" --method org.kde.StatusNotifierItem.Activate 0 0 \
    >/dev/null || e2e_fail "Activate failed: $(tail -2 "$E2E_DIR/gdbus.err")"
}
sni_menu_click() {
  local menu layout id
  menu=$(sni_prop Menu | grep -o "'/[^']*'" | tr -d "'")
  layout=$(sni_call --dest "$SNI_ITEM" --object-path "$menu" --method com.canonical.dbusmenu.GetLayout -- 0 -1 '[]')
  id=$(python3 -c 'import re, sys
m = re.search(r"\((\d+), \{[^}]*\x27label\x27: <\x27" + re.escape(sys.argv[1]) + r"\x27>", sys.stdin.read())
print(m.group(1) if m else "")' "$1" <<<"$layout")
  [ -n "$id" ] || e2e_fail "no menu entry $1 in: $layout"
  sni_call --dest "$SNI_ITEM" --object-path "$menu" --method com.canonical.dbusmenu.Event "$id" clicked '<0>' 0 \
    >/dev/null || e2e_fail "the menu's Event failed: $(tail -2 "$E2E_DIR/gdbus.err")"
}
