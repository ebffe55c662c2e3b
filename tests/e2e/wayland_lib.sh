# End-to-end helpers for a Wayland session: a private headless sway, the test's clients in its
# session, an input helper that stays connected, all stopped by PID when the script ends. Source
# after lib.sh and e2e_init.
#
# sway refuses to run as root, so when the test runs as root (as in CI) the compositor and every
# client of the session run as an unprivileged user (VEXMOR_E2E_WL_USER, default nobody, with
# VEXMOR_E2E_WL_GROUP, default nogroup) that owns the session's HOME and XDG_RUNTIME_DIR; otherwise
# they run as the caller. The build tree may be closed to that user: programs run from copies in
# $E2E_DIR (wl_install_program, wl_copy_in), and files it writes go to $WL_FILES, $HOME or stdout.
#
#   wl_start_compositor [OUTPUTS] [CONFIG-LINES...]
#                             sway with OUTPUTS headless outputs (HEADLESS-1...; default 1); waits
#                             until they are all in the layout, one "NAME X Y W H SCALE" a line in
#                             $WL_LAYOUT (logical coordinates), its bounding box "X Y W H" in $WL_BOX
#   wl_output_geometry NAME   "X Y W H SCALE" of an output
#   wl_run CMD...             CMD in the session as its user, in the foreground; its status
#   wl_spawn CMD...           the same in the background, stopped at the end; PID in $E2E_LAST_PID
#   wl_swaymsg ARGS...        swaymsg on the session's compositor
#   wl_copy_in FILE           a copy of FILE the session's user can run; its path on stdout
#   wl_install_program        the program installed into $WL_PREFIX; the command in $WL_VEXMOR
#   wl_input_start            the input helper (VEXMOR_WL_INPUT); wl_input CMD... sends one
#                             command and waits for its "ok"
#   wl_grim FILE [GRIM-ARGS]  the compositor's picture (grim) into FILE
#   wl_background NAME WxH [CONVERT-ARGS]
#                             a background $WL_FILES/NAME the compositor can read, whose every
#                             pixel differs from its neighbours (an offset by one pixel shows)
#   wl_start_session_bus      a private session bus for the session's clients (before the
#                             compositor), its address in DBUS_SESSION_BUS_ADDRESS
#   wl_name_owned NAME        true when NAME has an owner on that bus
#   wl_main_shown, wl_main_hidden
#                             the program's main window ("Vexmor") is or is not on screen
#   wl_overlay_windows        how many windows of the capture overlay are on screen

WL_AS=()
WL_ENV=()
WL_PREPARED=0
WL_FILES=""
WL_LAYOUT=""
WL_BOX=""

# The session's user, its folders and the environment its clients see. Runs once, from the first
# function that needs it.
wl_prepare() {
  [ "$WL_PREPARED" = 1 ] && return 0
  WL_PREPARED=1
  WL_FILES="$E2E_DIR/files"
  mkdir -p "$WL_FILES" "$E2E_DIR/bin"
  if [ "$(id -u)" = 0 ]; then
    local user=${VEXMOR_E2E_WL_USER:-nobody} group=${VEXMOR_E2E_WL_GROUP:-nogroup}
    id -u "$user" >/dev/null 2>&1 || e2e_fail "no user $user to run the Wayland session as"
    WL_AS=(setpriv --reuid="$user" --regid="$group" --clear-groups)
    # mktemp made the test's folder private to root; the session's user must reach into it.
    chmod 0755 "$E2E_DIR" "$E2E_DIR/bin"
    chown -R "$user:$group" "$HOME" "$XDG_RUNTIME_DIR" "$WL_FILES"
    chmod 0700 "$XDG_RUNTIME_DIR"
    "${WL_AS[@]}" test -w "$WL_FILES" -a -O "$XDG_RUNTIME_DIR" ||
      e2e_fail "user $user cannot reach $E2E_DIR (is a parent folder closed? set TMPDIR)"
  fi
  WL_ENV=(
    "PATH=$PATH" "LANG=${LANG:-C.UTF-8}" "HOME=$HOME"
    "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR" "XDG_CONFIG_HOME=$XDG_CONFIG_HOME" "XDG_DATA_HOME=$XDG_DATA_HOME"
    "XDG_CACHE_HOME=$XDG_CACHE_HOME" "XDG_DESKTOP_DIR=$XDG_DESKTOP_DIR" "XDG_DOCUMENTS_DIR=$XDG_DOCUMENTS_DIR"
  )
  local name
  for name in LC_ALL ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS TSAN_OPTIONS QT_LOGGING_RULES QT_DEBUG_PLUGINS \
    WAYLAND_DEBUG DBUS_SESSION_BUS_ADDRESS; do
    [ -n "${!name:-}" ] && WL_ENV+=("$name=${!name}")
  done
  return 0
}

wl_run() {
  wl_prepare
  "${WL_AS[@]}" env -i "${WL_ENV[@]}" "$@"
}

# exec keeps the PID the one of the program itself, so that the cleanup's signal reaches it. A
# background job's stdin would be /dev/null: the caller's goes through a copy.
wl_spawn() {
  wl_prepare
  local stdin
  exec {stdin}<&0
  (exec "${WL_AS[@]}" env -i "${WL_ENV[@]}" "$@" <&"$stdin" {stdin}<&-) &
  E2E_LAST_PID=$!
  E2E_PIDS+=("$E2E_LAST_PID")
  exec {stdin}<&-
}

wl_copy_in() {
  wl_prepare
  local dest
  dest="$E2E_DIR/bin/$(basename "$1")"
  # A copy already running cannot be overwritten (and needs not be).
  if ! cmp -s "$1" "$dest"; then
    { cp "$1" "$dest" && chmod 0755 "$dest"; } || e2e_fail "cannot copy $1 into the test folder"
  fi
  echo "$dest"
}

wl_install_program() {
  wl_prepare
  WL_PREFIX="$E2E_DIR/prefix"
  cmake --install "$(dirname "$VEXMOR_BIN")" --prefix "$WL_PREFIX" >"$E2E_DIR/install.log" 2>&1 ||
    e2e_fail "cmake --install failed: $(tail -5 "$E2E_DIR/install.log")"
  chmod -R a+rX "$WL_PREFIX"
  WL_VEXMOR="$WL_PREFIX/bin/vexmor"
}

wl_swaymsg() { wl_run swaymsg "$@"; }

# "NAME X Y W H SCALE" per active output, in the compositor's own words.
wl_read_layout() {
  wl_swaymsg -r -t get_outputs 2>/dev/null | python3 -c '
import json, sys
for o in json.load(sys.stdin):
    if o.get("active"):
        r = o["rect"]
        print(o["name"], r["x"], r["y"], r["width"], r["height"], o["scale"])'
}

wl_layout_has() {
  local count=$1
  WL_LAYOUT=$(wl_read_layout) || return 1
  [ "$(printf '%s\n' "$WL_LAYOUT" | grep -c .)" = "$count" ]
}

wl_session_sockets() {
  compgen -G "$XDG_RUNTIME_DIR/wayland-[0-9]" >/dev/null && compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" >/dev/null
}

wl_start_compositor() {
  local outputs=${1:-1} line
  [ $# -gt 0 ] && shift
  wl_prepare
  local config="$E2E_DIR/sway.config"
  {
    echo "xwayland disable"
    echo "default_border none"
    for line in "$@"; do echo "$line"; done
  } >"$config"
  chmod 0644 "$config"
  command -v sway >/dev/null || e2e_fail "sway is not installed (scripts/deps.sh)"
  wl_spawn env WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    WLR_HEADLESS_OUTPUTS="$outputs" sway ${VEXMOR_E2E_SWAY_ARGS:-} -c "$config" >"$E2E_DIR/sway.log" 2>&1
  WL_SWAY_PID=$E2E_LAST_PID
  e2e_poll 30 wl_session_sockets ||
    e2e_fail "sway did not open its sockets in $XDG_RUNTIME_DIR: $(tail -5 "$E2E_DIR/sway.log")"
  local display ipc
  display=$(compgen -G "$XDG_RUNTIME_DIR/wayland-[0-9]" | head -1)
  ipc=$(compgen -G "$XDG_RUNTIME_DIR/sway-ipc.*.sock" | head -1)
  WL_ENV+=("WAYLAND_DISPLAY=$(basename "$display")" "SWAYSOCK=$ipc" "QT_QPA_PLATFORM=wayland"
    "XDG_SESSION_TYPE=wayland" "XDG_CURRENT_DESKTOP=sway")
  e2e_wait_for "$outputs outputs in sway's layout" 30 wl_layout_has "$outputs"
  WL_BOX=$(printf '%s\n' "$WL_LAYOUT" | awk 'NR == 1 {x0 = $2; y0 = $3; x1 = $2 + $4; y1 = $3 + $5}
    {if ($2 < x0) x0 = $2; if ($3 < y0) y0 = $3; if ($2 + $4 > x1) x1 = $2 + $4; if ($3 + $5 > y1) y1 = $3 + $5}
    END {print x0, y0, x1 - x0, y1 - y0}')
  e2e_log "sway layout: $(printf '%s\n' "$WL_LAYOUT" | paste -sd ';'), box $WL_BOX"
}

wl_output_geometry() {
  local g
  g=$(printf '%s\n' "$WL_LAYOUT" | awk -v n="$1" '$1 == n {print $2, $3, $4, $5, $6}')
  [ -n "$g" ] || e2e_fail "no output $1 in the layout"
  echo "$g"
}

wl_background() { # NAME WxH [CONVERT-ARGS...]
  [ -f "$E2E_DIR/noise.png" ] || convert -size 480x270 xc:gray -seed 7 +noise Random -depth 8 "$E2E_DIR/noise.png"
  convert -size "$2" tile:"$E2E_DIR/noise.png" "${@:3}" -depth 8 "$WL_FILES/$1"
  chmod a+r "$WL_FILES/$1"
}

wl_grim() {
  local file=$1
  shift
  wl_run grim "$@" - >"$file" || e2e_fail "grim $* failed"
}

# --- input ------------------------------------------------------------------------------------

# The helper reads commands from one FIFO and answers on another; the script holds both open
# read-write, so neither side ever blocks on an open or sees an end of file while the test runs.
wl_input_start() {
  : "${VEXMOR_WL_INPUT:=$(dirname "$VEXMOR_BIN")/tests/vexmor_wl_input}"
  [ -x "$VEXMOR_WL_INPUT" ] || e2e_fail "no input helper at $VEXMOR_WL_INPUT"
  local helper
  helper=$(wl_copy_in "$VEXMOR_WL_INPUT")
  mkfifo "$E2E_DIR/input.cmd" "$E2E_DIR/input.reply"
  exec {WL_INPUT_CMD_FD}<>"$E2E_DIR/input.cmd"
  exec {WL_INPUT_REPLY_FD}<>"$E2E_DIR/input.reply"
  wl_spawn "$helper" <"$E2E_DIR/input.cmd" >"$E2E_DIR/input.reply" 2>"$E2E_DIR/input.log"
  WL_INPUT_PID=$E2E_LAST_PID
  wl_input_reply 30
  [ "$WL_INPUT_REPLY" = ready ] || e2e_fail "input helper: $WL_INPUT_REPLY"
}

# The helper's next line into $WL_INPUT_REPLY, within SECS.
wl_input_reply() {
  local deadline=$((SECONDS + $1))
  WL_INPUT_REPLY=""
  while [ $SECONDS -lt $deadline ]; do
    if read -r -t 1 -u "$WL_INPUT_REPLY_FD" WL_INPUT_REPLY; then
      return 0
    fi
    e2e_alive "$WL_INPUT_PID" || e2e_fail "the input helper ended: $(tail -3 "$E2E_DIR/input.log")"
  done
  e2e_fail "no answer from the input helper within $1 s"
}

wl_input() {
  echo "$*" >&"$WL_INPUT_CMD_FD"
  wl_input_reply 30
  [ "$WL_INPUT_REPLY" = ok ] || e2e_fail "input helper, on '$*': $WL_INPUT_REPLY"
}

# A private session bus the session's user may use, with no service files: whatever is on it is
# started by the test, and stopped by PID at the end.
wl_start_session_bus() {
  wl_prepare
  export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/test-bus"
  WL_ENV+=("DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS")
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
}

wl_name_owned() { # NAME
  wl_run dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" | grep -q 'boolean true'
}

# --- KDE Plasma: KWin and its portal -----------------------------------------------------------
#
#   wl_start_system_bus       a second private bus given to the session as its system bus (KWin's
#                             login-manager code waits on one), in DBUS_SYSTEM_BUS_ADDRESS
#   wl_start_kwin [WxH]       headless KWin (one virtual output, OpenGL on the software rasteriser)
#                             on the session bus, as a KDE session; waits for its socket and its
#                             screenshot interface
#   wl_start_kde_portal       xdg-desktop-portal with the KDE backend, both on the session bus,
#                             waits until the front-end offers Screenshot

wl_start_system_bus() {
  wl_prepare
  local address="unix:path=$XDG_RUNTIME_DIR/test-system-bus"
  sed -e 's|<type>session</type>|<type>system</type>|' \
    -e "s|<listen>[^<]*</listen>|<listen>$address</listen>|" "$E2E_DIR/bus.conf" >"$E2E_DIR/system-bus.conf" ||
    e2e_fail "wl_start_system_bus needs wl_start_session_bus first"
  chmod a+r "$E2E_DIR/system-bus.conf"
  wl_spawn dbus-daemon --nofork --config-file="$E2E_DIR/system-bus.conf" >"$E2E_DIR/system-bus.log" 2>&1
  e2e_wait_for "the private system bus" 20 test -S "$XDG_RUNTIME_DIR/test-system-bus"
  WL_ENV+=("DBUS_SYSTEM_BUS_ADDRESS=$address")
}

wl_kwin_ready() {
  test -S "$XDG_RUNTIME_DIR/wayland-0" && wl_name_owned org.kde.KWin &&
    wl_run dbus-send --session --print-reply --dest=org.kde.KWin /org/kde/KWin/ScreenShot2 \
      org.freedesktop.DBus.Properties.Get string:org.kde.KWin.ScreenShot2 string:Version 2>/dev/null |
    grep -q uint32
}

wl_start_kwin() {
  local size=${1:-1920x1080} kwin
  command -v kwin_wayland >/dev/null || e2e_fail "kwin_wayland is not installed (scripts/deps.sh)"
  # The installed binary carries a file capability, with which it refuses an unprivileged user; a
  # copy has none.
  kwin=$(wl_copy_in "$(command -v kwin_wayland)")
  WL_ENV+=("XDG_CURRENT_DESKTOP=KDE" "XDG_SESSION_TYPE=wayland" "KDE_FULL_SESSION=true")
  wl_spawn "$kwin" --virtual --width "${size%x*}" --height "${size#*x}" --socket wayland-0 \
    >"$E2E_DIR/kwin.log" 2>&1
  WL_KWIN_PID=$E2E_LAST_PID
  e2e_poll 60 wl_kwin_ready || e2e_fail "KWin did not start: $(tail -8 "$E2E_DIR/kwin.log")"
  WL_ENV+=("WAYLAND_DISPLAY=wayland-0" "QT_QPA_PLATFORM=wayland")
  WL_BOX="0 0 ${size%x*} ${size#*x}"
}

wl_kde_portal_ready() {
  wl_run dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
    /org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get \
    string:org.freedesktop.portal.Screenshot string:version 2>/dev/null | grep -q uint32
}

wl_start_kde_portal() {
  local program
  for program in /usr/libexec/xdg-desktop-portal /usr/lib/*/libexec/xdg-desktop-portal-kde; do
    [ -x "$program" ] || e2e_fail "$program is not installed (scripts/deps.sh)"
  done
  wl_spawn env QT_QPA_PLATFORM=offscreen /usr/lib/*/libexec/xdg-desktop-portal-kde >"$E2E_DIR/portal-kde.log" 2>&1
  e2e_poll 30 wl_name_owned org.freedesktop.impl.portal.desktop.kde ||
    e2e_fail "xdg-desktop-portal-kde did not come on the bus: $(tail -5 "$E2E_DIR/portal-kde.log")"
  wl_spawn /usr/libexec/xdg-desktop-portal -v >"$E2E_DIR/portal.log" 2>&1
  e2e_poll 30 wl_kde_portal_ready ||
    e2e_fail "the portal offers no Screenshot: $(grep -v Monitoring "$E2E_DIR/portal.log" | tail -8)"
}

# The windows in sway's tree for which the Python condition on the node `n` holds.
wl_count_windows() { # CONDITION
  wl_swaymsg -r -t get_tree | python3 -c '
import json, sys
def walk(n):
    if '"$1"': yield n
    for k in n.get("nodes", []) + n.get("floating_nodes", []): yield from walk(k)
print(sum(1 for _ in walk(json.load(sys.stdin))))'
}
# A hidden Qt window has no surface: it is not in sway's tree at all.
wl_main_windows() { wl_count_windows 'n.get("name") == "Vexmor" and n.get("visible")'; }
wl_main_shown() { [ "$(wl_main_windows)" -ge 1 ]; }
wl_main_hidden() { [ "$(wl_main_windows)" = 0 ]; }
# The capture overlay's windows: the program's (its app_id) shown full screen, which no other window
# of its is. A Wayland window has no role, and its title is in the interface language.
wl_overlay_windows() { wl_count_windows 'n.get("app_id") == "vexmor" and n.get("fullscreen_mode")'; }

# --- GNOME: the shell and its portal -----------------------------------------------------------
#
#   wl_start_gnome [WxH]      headless GNOME Shell (one virtual monitor, software rendering) on the
#                             session bus and a private system bus, as a GNOME session, out of the
#                             overview, on a plain #336699 background, with its notifications;
#                             settings in a key file
#   wl_start_gnome_portal     the permission store, xdg-desktop-portal and its GNOME and GTK
#                             backends on the session bus; waits until Screenshot is offered
#   wl_grant_screenshots      the screenshot permission stored as the shell's "Allow" stores it

wl_gnome_ready() {
  test -S "$XDG_RUNTIME_DIR/wayland-0" && wl_name_owned org.gnome.Shell && wl_name_owned org.gnome.Shell.Portal
}

wl_start_gnome() {
  local size=${1:-1920x1080} keys="$XDG_CONFIG_HOME/glib-2.0/settings"
  command -v gnome-shell >/dev/null || e2e_fail "gnome-shell is not installed (scripts/deps.sh)"
  [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || e2e_fail "wl_start_gnome needs wl_start_session_bus first"
  grep -q DBUS_SYSTEM_BUS_ADDRESS <<<"${WL_ENV[*]}" || wl_start_system_bus
  # A key file instead of dconf: the shell and the portals read the same settings without a
  # settings daemon, and nothing outside the test folder is touched.
  mkdir -p "$keys"
  cat >"$keys/keyfile" <<'KEYS'
[org/gnome/desktop/background]
picture-uri=''
picture-uri-dark=''
picture-options='none'
color-shading-type='solid'
primary-color='#336699'

[org/gnome/desktop/interface]
enable-animations=false

[org/gnome/desktop/notifications]
show-banners=false
KEYS
  [ "$(id -u)" = 0 ] && chown -R "$(stat -c %u:%g "$HOME")" "$XDG_CONFIG_HOME"
  WL_ENV+=("XDG_CURRENT_DESKTOP=GNOME" "XDG_SESSION_TYPE=wayland" "GSETTINGS_BACKEND=keyfile"
    "LIBGL_ALWAYS_SOFTWARE=1" "NO_AT_BRIDGE=1")
  wl_spawn gnome-shell --headless --wayland --no-x11 --virtual-monitor "$size" >"$E2E_DIR/gnome-shell.log" 2>&1
  WL_GNOME_PID=$E2E_LAST_PID
  e2e_poll 90 wl_gnome_ready || e2e_fail "GNOME Shell did not start: $(tail -8 "$E2E_DIR/gnome-shell.log")"
  WL_ENV+=("WAYLAND_DISPLAY=wayland-0" "QT_QPA_PLATFORM=wayland")
  # The shell's notifications come on the bus through a service of their own, which the bus would
  # start (this one starts nothing).
  wl_spawn /usr/bin/gjs /usr/share/gnome-shell/org.gnome.Shell.Notifications >"$E2E_DIR/notifications.log" 2>&1
  e2e_poll 30 wl_name_owned org.freedesktop.Notifications ||
    e2e_fail "the shell's notifications did not come: $(tail -5 "$E2E_DIR/notifications.log")"
  wl_run gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
    --method org.freedesktop.DBus.Properties.Set org.gnome.Shell OverviewActive '<false>' >/dev/null ||
    e2e_fail "the shell stays in its overview"
  WL_BOX="0 0 ${size%x*} ${size#*x}"
}

# What the shell's "Allow" stores: every later screenshot goes through without a dialog.
wl_grant_screenshots() {
  wl_run gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore \
    --object-path /org/freedesktop/impl/portal/PermissionStore \
    --method org.freedesktop.impl.portal.PermissionStore.SetPermission screenshot true screenshot '' "['yes']" \
    >/dev/null || e2e_fail "the permission store took no grant"
}

wl_start_gnome_portal() {
  local program
  for program in /usr/libexec/xdg-permission-store /usr/libexec/xdg-desktop-portal \
    /usr/libexec/xdg-desktop-portal-gnome /usr/libexec/xdg-desktop-portal-gtk; do
    [ -x "$program" ] || e2e_fail "$program is not installed (scripts/deps.sh)"
  done
  wl_spawn /usr/libexec/xdg-permission-store --replace >"$E2E_DIR/permission-store.log" 2>&1
  wl_spawn /usr/libexec/xdg-desktop-portal-gnome -r >"$E2E_DIR/portal-gnome.log" 2>&1
  wl_spawn /usr/libexec/xdg-desktop-portal-gtk -r >"$E2E_DIR/portal-gtk.log" 2>&1
  e2e_poll 30 wl_name_owned org.freedesktop.impl.portal.PermissionStore ||
    e2e_fail "the permission store did not come on the bus: $(tail -5 "$E2E_DIR/permission-store.log")"
  e2e_poll 30 wl_name_owned org.freedesktop.impl.portal.desktop.gnome ||
    e2e_fail "xdg-desktop-portal-gnome did not come on the bus: $(tail -5 "$E2E_DIR/portal-gnome.log")"
  e2e_poll 30 wl_name_owned org.freedesktop.impl.portal.desktop.gtk ||
    e2e_fail "xdg-desktop-portal-gtk did not come on the bus: $(tail -5 "$E2E_DIR/portal-gtk.log")"
  wl_spawn /usr/libexec/xdg-desktop-portal -v >"$E2E_DIR/portal.log" 2>&1
  e2e_poll 30 wl_kde_portal_ready ||
    e2e_fail "the portal offers no Screenshot: $(grep -v Monitoring "$E2E_DIR/portal.log" | tail -8)"
}
