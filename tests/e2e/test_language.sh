#!/usr/bin/env bash
# The interface language as a screen reader meets it: the tray menu, the settings tab and the error
# box of a failed save read English under an English locale and the program's Chinese under a Chinese
# one or with no locale at all; the stored InterfaceLanguageSel overrides the locale both ways.
# The texts are read from the accessibility bus (AT-SPI) of a private session bus; the English ones
# expected are the catalogue's translations of the Chinese texts.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/tray_lib.sh" || e2e_fail "tests/e2e/tray_lib.sh does not load"
e2e_init language
e2e_start_x 1280x800x24
e2e_start_wm_leaving_print
command -v trayer >/dev/null || e2e_fail "trayer is not installed (scripts/deps.sh)"
e2e_spawn trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false

here=$(cd "$(dirname "$0")" && pwd)
catalogue="$here/../../i18n/vexmor_en.ts"
[ -f "$catalogue" ] || e2e_fail "no English catalogue at $catalogue"
# The system's Python: the bindings of the accessibility library are Debian packages.
PY=/usr/bin/python3
[ -x "$PY" ] || PY=python3
"$PY" -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null ||
  e2e_fail "the AT-SPI bindings are missing (gir1.2-atspi-2.0, python3-gi: scripts/deps.sh)"
launcher=/usr/libexec/at-spi-bus-launcher
registryd=/usr/libexec/at-spi2-registryd
[ -x "$launcher" ] && [ -x "$registryd" ] || e2e_fail "at-spi2-core is not installed (scripts/deps.sh)"

# A private session bus, the accessibility bus its launcher starts and the registry on that bus.
e2e_spawn dbus-daemon --session --nofork --print-address=3 3>"$E2E_DIR/bus-address"
e2e_wait_for "the session bus" 20 test -s "$E2E_DIR/bus-address"
export DBUS_SESSION_BUS_ADDRESS
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$E2E_DIR/bus-address")
e2e_spawn "$launcher" --launch-immediately --a11y=1
launcher_pid=$E2E_LAST_PID
# Asking the bus for a name it does not have yet would start a second launcher behind the test's back.
has_owner() {  # BUS-ARGS... NAME
  local name=${*: -1}
  gdbus call "${@:1:$#-1}" -d org.freedesktop.DBus -o /org/freedesktop/DBus \
    -m org.freedesktop.DBus.NameHasOwner "$name" 2>/dev/null | grep -q true
}
e2e_wait_for "the accessibility bus" 20 has_owner --session org.a11y.Bus
a11y_address=$(gdbus call --session -d org.a11y.Bus -o /org/a11y/bus -m org.a11y.Bus.GetAddress |
  sed -n "s/^('\(.*\)',)\$/\1/p")
[ -n "$a11y_address" ] || e2e_fail "the accessibility bus has no address"
# The launcher's own bus daemon, stopped before the launcher.
for pid in $(pgrep -P "$launcher_pid"); do E2E_PIDS+=("$pid"); done
e2e_spawn "$registryd"
e2e_wait_for "the accessibility registry" 20 has_owner --address "$a11y_address" org.a11y.atspi.Registry
# Popup menus are only told of as they show: a listener from the start writes each one down.
mkdir -p "$E2E_DIR/a11y"
e2e_spawn "$PY" "$here/a11y_tree.py" menus "$E2E_DIR/a11y"
e2e_wait_for "the menu listener" 20 test -e "$E2E_DIR/a11y/ready"
# Qt offers its widgets to the bus without asking a desktop setting.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1

# A failed save: the desktop folder is one nobody can write in, root included.
export XDG_DESKTOP_DIR=/proc/sys
ini="$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
mkdir -p "$(dirname "$ini")"

# The catalogue's translations of a Chinese text, one a line; nothing when it has none.
english_of() {
  "$PY" - "$catalogue" "$1" <<'PY'
import sys
import xml.etree.ElementTree as ET
found = []
for message in ET.parse(sys.argv[1]).iter("message"):
    if message.findtext("source") != sys.argv[2]:
        continue
    t = message.find("translation")
    if t is None or not t.text or t.get("type") in ("unfinished", "obsolete", "vanished"):
        continue
    text = t.text.replace("&&", "\0").replace("&", "").replace("\0", "&")
    if text not in found:
        found.append(text)
print("\n".join(found))
PY
}
has_cjk() { "$PY" -c 'import re, sys; sys.exit(0 if re.search("[\u3000-\u9fff\uff00-\uffef]", sys.argv[1]) else 1)' "$1"; }
not_chinese() { [ -n "$1" ] && ! has_cjk "$1"; }

# The program's accessible objects now: "DEPTH<TAB>ROLE<TAB>NAME<TAB>showing|hidden" in $tree.
tree="$E2E_DIR/tree.txt"
read_tree() { timeout 20 "$PY" "$here/a11y_tree.py" tree "$VEXMOR_PID" >"$tree.new" 2>/dev/null && mv "$tree.new" "$tree"; }
# The tray menu the program showed last, written down by the listener.
menu_file() { echo "$E2E_DIR/a11y/menu-$VEXMOR_PID.txt"; }
# The objects the checks look at: the last tree read, or the last menu.
view=$tree
# A showing object named exactly NAME (and, given, of a role matching ROLE) in $view; in a menu the
# entries of the showing menu, whatever their own state.
shown_named() {  # NAME [ROLE-REGEX]
  awk -F'\t' -v n="$1" -v r="${2:-.}" -v menu="$([ "$view" = "$tree" ] || echo 1)" \
    '($4 == "showing" || menu) && $3 == n && $2 ~ r {f = 1} END {exit !f}' "$view"
}
# The last menu shows an entry NAME. Qt tells of the menu showing before it lays out its entries,
# which it reports hidden until then: the menu's own state counts.
menu_shows() {  # NAME
  [ -f "$(menu_file)" ] &&
    awk -F'\t' -v n="$1" 'NR == 1 && $4 == "showing" {m = 1} $3 == n && $2 == "menu item" {f = 1}
                          END {exit !(m && f)}' "$(menu_file)"
}
# Reads the tree afresh: a showing object has NAME (for e2e_wait_for).
tree_shows() { read_tree && shown_named "$@"; }

# The text a session in LANGUAGE shows for a Chinese source text: the text itself in Chinese, the
# catalogue's translations in English (any of them when several contexts translate it).
expected() {  # LANGUAGE SOURCE
  if [ "$1" = zh ]; then printf '%s\n' "$2"; else english_of "$2"; fi
}
# Checks that one of the expected texts is showing; DESC names the control.
check_text() {  # LANGUAGE DESC SOURCE [ROLE-REGEX]
  local lang=$1 desc=$2 source=$3 role=${4:-.} want text ok=1
  want=$(expected "$lang" "$source")
  if [ -z "$want" ]; then
    e2e_check "$desc: the catalogue translates \"$source\"" false
    return
  fi
  while IFS= read -r text; do
    shown_named "$text" "$role" && ok=0
  done <<<"$want"
  e2e_check "$desc reads \"$(paste -sd'|' <<<"$want")\"" test "$ok" = 0
}
# In English no control shows Chinese; the language list names Chinese in Chinese, as it should.
check_no_chinese() {  # WHERE
  local bad
  bad=$("$PY" - "$view" "$([ "$view" = "$tree" ] || echo menu)" <<'PY'
import re, sys
for line in open(sys.argv[1], encoding="utf-8"):
    _, role, name, state = line.rstrip("\n").split("\t")
    if (state == "showing" or len(sys.argv) > 2 and sys.argv[2] == "menu") and name != "中文" and re.search("[\u3000-\u9fff\uff00-\uffef]", name):
        print(f"[{role}: {name}]", end=" ")
PY
)
  e2e_check "no Chinese text in the $1 ${bad:+(found $bad)}" test -z "$bad"
}

# Escape, else a click beside the menu, closes it.
close_menu() {
  menu_open || return 0
  xdotool key Escape
  e2e_poll 5 menu_closed && return 0
  xdotool mousemove 400 600 click 1
  e2e_wait_for "the tray menu closed" 10 menu_closed
}
# A window's title, read as UTF-8 (_NET_WM_NAME): the older WM_NAME is written in the locale's
# character set, which is plain ASCII when the machine lacks the locale the session names
# (en_US.UTF-8 often is missing).
title_of() { xprop -id "$1" -notype _NET_WM_NAME 2>/dev/null | sed -n 's/^_NET_WM_NAME = "\(.*\)"$/\1/p'; }
# Visible windows of the program whose title matches a regular expression.
titled() {  # REGEX
  local id
  for id in $(xdotool search --onlyvisible --class vexmor 2>/dev/null); do
    title_of "$id" | grep -qE -- "$1" && echo "$id"
  done
  return 0
}
# The message box of the failed save, showing: its subtree's lines in $E2E_DIR/box.txt.
box_shown() {
  read_tree || return 1
  awk -F'\t' '$2 == "alert" && $4 == "showing" && !d {d = $1 + 1; print; next}
              d && $1 < d {exit} d {print}' "$tree" >"$E2E_DIR/box.txt"
  [ -s "$E2E_DIR/box.txt" ]
}
box_gone() { read_tree && ! grep -qP '^\d+\talert\t.*\tshowing$' "$tree"; }

# One run of the program: LOCALE ("" for none) and STORED (InterfaceLanguageSel) should give LANGUAGE.
session() {  # LOCALE STORED LANGUAGE
  local locale=$1 stored=$2 lang=$3 label checked_menu want_caption want_text caption text try title want_title
  label="${locale:-no locale}, InterfaceLanguageSel=$stored"
  checked_menu="$E2E_DIR/menu-$lang-$stored-${locale:-none}.txt"
  e2e_log "--- $label: expecting $lang"
  printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\nCapCursorBox=0\nInterfaceLanguageSel=%s\n' \
    "$stored" >"$ini"
  if [ -n "$locale" ]; then
    e2e_spawn env LANG="$locale" "$VEXMOR_BIN" /tray
  else
    e2e_spawn env -u LANG "$VEXMOR_BIN" /tray
  fi
  VEXMOR_PID=$E2E_LAST_PID
  e2e_wait_for "tray icon docked ($label)" 30 icon_docked

  # The settings tab, shown by a double click on the icon.
  icon_click 1 2
  e2e_wait_for "the main window ($label)" 15 main_shown
  e2e_wait_for "the settings tab on the accessibility bus ($label)" 30 tree_shows "$(expected "$lang" 捕获鼠标指针 | head -n1)"
  check_text "$lang" "$label: settings page tab" 设置 'page tab'
  check_text "$lang" "$label: capture group" 捕获
  check_text "$lang" "$label: output image group" 目标图像
  check_text "$lang" "$label: interface language group" 界面语言
  check_text "$lang" "$label: pointer check box" 捕获鼠标指针 'check box'
  check_text "$lang" "$label: autostart check box" 随Windows自动启动 'check box'
  [ "$lang" = en ] && check_no_chinese "settings tab ($label)"
  xdotool key Escape
  e2e_wait_for "Esc hides the main window ($label)" 10 main_hidden

  # The tray menu; Down and Return pick its first entry, which captures at once. Keys sent the moment
  # the menu maps may come before it holds the keyboard: a capture that does not come is asked for
  # from a fresh menu.
  for try in 1 2 3 4; do
    rm -f "$(menu_file)"
    icon_click 3
    # Under load a menu may close at once or a click go astray: another click then.
    if ! e2e_poll 10 menu_open; then
      e2e_log "no tray menu after a right click ($label, menu $try)"
      continue
    fi
    # The first entry takes the focus: the listener writes the menu down (again).
    xdotool key Down
    if [ ! -f "$checked_menu" ]; then
      if e2e_poll 15 menu_shows "$(expected "$lang" 退出 | head -n1)"; then
        view=$(menu_file)
        check_text "$lang" "$label: menu entry capture now" 立即捕获屏幕 'menu item'
        check_text "$lang" "$label: menu entry capture in 5 s" 5秒后捕获屏幕 'menu item'
        check_text "$lang" "$label: menu entry capture in 30 s" 30秒后捕获屏幕 'menu item'
        check_text "$lang" "$label: menu entry settings" 设置 'menu item'
        check_text "$lang" "$label: menu entry quit" 退出 'menu item'
        [ "$lang" = en ] && check_no_chinese "tray menu ($label)"
        view=$tree
        cp "$(menu_file)" "$checked_menu"
      else
        e2e_log "the tray menu did not reach the accessibility bus ($label, menu $try)"
        close_menu
        continue
      fi
    fi
    xdotool key Return
    e2e_poll 10 e2e_overlay_shown && break
    e2e_log "retrying the menu ($label)"
    close_menu
  done
  [ -f "$checked_menu" ] || e2e_fail "$label: the tray menu never reached the accessibility bus"
  e2e_wait_for "the overlay ($label)" 10 e2e_overlay_shown
  # Found by its role, the overlay shows its title in the interface language (an overview lists it).
  title=$(title_of "$(e2e_overlay_ids --onlyvisible | head -n1)")
  want_title=$(expected "$lang" 屏幕捕获覆盖)
  e2e_check "$label: the overlay's title \"$title\" is one of \"$(paste -sd'|' <<<"$want_title")\"" \
    grep -qxF -- "${title% — Vexmor}" <<<"$want_title"
  # A click takes the whole screen; saving it fails.
  xdotool mousemove 640 400 click 1
  e2e_wait_for "the error box of the failed save ($label)" 30 box_shown
  caption=$(awk -F'\t' 'NR == 1 {print $3}' "$E2E_DIR/box.txt")
  text=$(awk -F'\t' '$2 == "label" && $3 != "" {print $3; exit}' "$E2E_DIR/box.txt")
  if [ "$lang" = zh ]; then
    e2e_check "$label: error caption \"$caption\" is 错误" test "$caption" = 错误
    e2e_check "$label: error text \"$text\" is 无法保存捕获图像。" test "$text" = 无法保存捕获图像。
  else
    # The English of this box may not be in the catalogue yet: any text but Chinese then.
    want_caption=$(english_of 错误)
    want_text=$(english_of 无法保存捕获图像。)
    if [ -n "$want_caption" ]; then
      e2e_check "$label: error caption \"$caption\" is one of \"$(paste -sd'|' <<<"$want_caption")\"" \
        grep -qxF -- "$caption" <<<"$want_caption"
    else
      e2e_check "$label: error caption \"$caption\" is there and not Chinese" not_chinese "$caption"
    fi
    if [ -n "$want_text" ]; then
      e2e_check "$label: error text \"$text\" is one of \"$(paste -sd'|' <<<"$want_text")\"" \
        grep -qxF -- "$text" <<<"$want_text"
    else
      e2e_check "$label: error text \"$text\" is there and not Chinese" not_chinese "$text"
    fi
  fi
  # The caption is the box's window title, as the window manager shows it.
  e2e_check "$label: a window titled \"$caption\" is shown" \
    test -n "$(titled "^$(sed 's/[][\.*^$+?(){}|]/\\&/g' <<<"$caption")( — Vexmor)?\$")"
  xdotool key Return
  e2e_wait_for "the error box closed ($label)" 15 box_gone
  e2e_stop_vexmor
  e2e_check "$label: exit status 0 (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 0
}

session en_US.UTF-8 0 en
session zh_CN.UTF-8 0 zh
session "" 0 zh
session zh_CN.UTF-8 2 en
session en_US.UTF-8 1 zh
e2e_pass
