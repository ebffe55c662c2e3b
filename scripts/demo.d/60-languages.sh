# The two interface languages side by side: the settings tab and the tray menu of a program started
# under an English locale, then under a Chinese one.
# shellcheck source=../../tests/e2e/tray_lib.sh
source "$root/tests/e2e/tray_lib.sh" || return 1

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
  e2e_poll 30 icon_docked || return 1
  icon_click 1 2
  e2e_poll 10 main_shown || return 1
  sleep 0.7
  demo_shot "settings-$suffix" "LANG=$locale: the settings tab in $wording"
  xdotool key Escape
  sleep 0.5
  icon_click 3
  e2e_poll 10 menu_open || return 1
  sleep 0.5
  demo_shot "traymenu-$suffix" "LANG=$locale: the tray menu in $wording"
  xdotool key Escape
}

demo_language en_US.UTF-8 en English && demo_language zh_CN.UTF-8 zh Chinese
