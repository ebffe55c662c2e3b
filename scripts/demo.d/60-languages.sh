# The two interface languages side by side: the settings tab and the tray menu of a program started
# under an English locale, then under a Chinese one.
demo_lang_icon() { xwininfo -root -tree | awk '/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'; }
demo_lang_main_shown() { xdotool search --onlyvisible --class --name '^Vexmor$' 2>/dev/null | grep -vqx "$(($(demo_lang_icon)))"; }
# The menu: a window of the program's own placing that is neither its tool tip nor the docked icon.
demo_lang_menu_open() {
  local id
  for id in $(xdotool search --onlyvisible --class vexmor 2>/dev/null); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && continue
    xwininfo -id "$id" 2>/dev/null | grep -q 'Override Redirect State: yes' || continue
    [ "$((id))" = "$(($(demo_lang_icon)))" ] && continue
    return 0
  done
  return 1
}
demo_lang_click() {  # button [repeat]
  eval "$(xdotool getwindowgeometry --shell "$(demo_lang_icon)")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click --repeat "${2:-1}" --delay 80 "$1"
}

demo_language() {  # LOCALE SUFFIX WORDING
  local locale=$1 suffix=$2 wording=$3
  if e2e_alive "$VEXMOR_PID"; then
    kill -TERM "$VEXMOR_PID"
    e2e_wait_exit "$VEXMOR_PID" 10 || return 1
  fi
  mkdir -p "$XDG_CONFIG_HOME/Vexmor"
  printf '[Software\\Vexmor]\nAfterCaptureSel=0\nInterfaceLanguageSel=0\n' >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
  e2e_spawn env LANG="$locale" "$VEXMOR_BIN" /tray
  VEXMOR_PID=$E2E_LAST_PID
  e2e_poll 30 bash -c '[ -n "$(xwininfo -root -tree | awk '"'"'/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'"'"')" ]' || return 1
  demo_lang_click 1 2
  e2e_poll 10 demo_lang_main_shown || return 1
  sleep 0.7
  demo_shot "settings-$suffix" "LANG=$locale: the settings tab in $wording"
  xdotool key Escape
  sleep 0.5
  demo_lang_click 3
  e2e_poll 10 demo_lang_menu_open || return 1
  sleep 0.5
  demo_shot "traymenu-$suffix" "LANG=$locale: the tray menu in $wording"
  xdotool key Escape
}

demo_language en_US.UTF-8 en English && demo_language zh_CN.UTF-8 zh Chinese
