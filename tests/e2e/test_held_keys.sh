#!/usr/bin/env bash
# Capture keys that another program holds: a client that took Print (with the lock variants) before
# Vexmor starts in the tray makes Vexmor say so in a tray message; Alt+Print, Ctrl+Print and
# `vexmor --capture` still work. When the keyboard mapping moves Print to another key code (xmodmap:
# a core mapping change; setxkbmap: a new keymap, of which Qt's connection hears only through the
# keyboard extension), Vexmor follows it, and takes Print once nobody else holds it.
source "$(dirname "$0")/lib.sh"
e2e_init held_keys
e2e_start_x 1280x800x24
command -v trayer >/dev/null || e2e_fail "trayer is not installed (scripts/deps.sh)"
command -v setxkbmap >/dev/null || e2e_fail "setxkbmap is not installed (scripts/deps.sh)"

# A client holding Print as a desktop's screenshot tool would: on the key code the keysym maps to
# first, plain and with CapsLock, NumLock or both. Writes "ready CODE" once the server has granted
# the grabs, then a line for each press it receives.
holder_log="$E2E_DIR/holder.log"
cat >"$E2E_DIR/holder.py" <<'PY'
import ctypes, ctypes.util, sys
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XKeysymToKeycode.restype = ctypes.c_ubyte
x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_int]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
errors = []
handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
on_error = handler_type(lambda d, e: errors.append(1) or 0)
x.XSetErrorHandler(on_error)
d = x.XOpenDisplay(None)
if not d:
    sys.exit(1)
root = x.XDefaultRootWindow(d)
code = x.XKeysymToKeycode(d, 0xff61)  # Print
for mods in (0, 2, 16, 18):  # none, Lock, Mod2 (NumLock), both
    x.XGrabKey(d, code, mods, root, 1, 1, 1)
x.XSync(d, 0)
if errors:
    sys.exit(2)
log = open(sys.argv[1], "a", buffering=1)
log.write("ready %d\n" % code)
event = ctypes.create_string_buffer(192)
while True:
    x.XNextEvent(d, event)
    kind = int.from_bytes(event.raw[0:4], "little")
    if kind == 2:  # KeyPress: its key code sits after the window, time, position and state fields
        log.write("press %d\n" % int.from_bytes(event.raw[84:88], "little"))
PY
start_holder() {
  : >"$holder_log"
  e2e_spawn python3 "$E2E_DIR/holder.py" "$holder_log"
  HOLDER_PID=$E2E_LAST_PID
  e2e_wait_for "the other client's grab of Print" 20 grep -q '^ready' "$holder_log"
}
holder_got_press() { grep -q '^press' "$holder_log"; }

start_tray() {
  e2e_spawn trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false
  TRAY_PID=$E2E_LAST_PID
}
start_tray
tray_icon() { xwininfo -root -tree | awk '/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'; }
icon_docked() { [ -n "$(tray_icon)" ]; }
# The tray's message without a notification service: a tooltip-type top-level window of the program.
balloon() {
  local id
  for id in $(xdotool search --onlyvisible --pid "$VEXMOR_PID" '' 2>/dev/null); do
    xprop -id "$id" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q _NET_WM_WINDOW_TYPE_TOOLTIP && { echo "$id"; return 0; }
  done
  return 1
}
balloon_within_4s() { e2e_poll 4 balloon; }
# Presses and releases a key by its key code, whatever keysym the mapping gives it.
press_code() {
  python3 -c 'import ctypes, ctypes.util, sys
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
t = ctypes.cdll.LoadLibrary(ctypes.util.find_library("Xtst"))
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
t.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int, ctypes.c_ulong]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
d = x.XOpenDisplay(None)
code = int(sys.argv[1])
t.XTestFakeKeyEvent(d, code, 1, 0)
t.XTestFakeKeyEvent(d, code, 0, 0)
x.XSync(d, 0)' "$1"
}
# Presses until the overlay shows (a press that comes while the program takes its keys again after a
# mapping change may find no grab yet); three tries. The press is a command: xdotool key KEY, or
# press_code CODE.
press_for_overlay() {
  local try
  for try in 1 2 3; do
    "$@"
    e2e_poll 10 e2e_overlay_shown && return 0
  done
  return 1
}
cancel_overlay() {
  xdotool key Escape
  e2e_wait_for "the overlay cancelled after $1" 30 e2e_overlay_gone
}

# --- every key free: no message ----------------------------------------------------------------
e2e_start_vexmor /tray
e2e_wait_for "the tray icon docked" 30 icon_docked
e2e_check "no tray message while every capture key is Vexmor's" eval '! balloon_within_4s'
e2e_stop_vexmor

# --- Print held by another client ----------------------------------------------------------------
start_holder
e2e_start_vexmor /tray
e2e_wait_for "the tray icon docked" 30 icon_docked
e2e_wait_for "the tray message about the held key" 10 balloon
geometry=$(e2e_window_geometry "$(balloon)")
e2e_log "the message's window: $geometry"
read -r _ _ bw bh <<<"$geometry"
e2e_check "the message is a real window (${bw}x${bh})" test "$bw" -ge 100 -a "$bh" -ge 40

xdotool key Print
e2e_wait_for "the other client receives Print" 10 holder_got_press
e2e_check "Print opens no overlay while another client holds it" e2e_overlay_gone
# The mapping puts Print on a second key code as well (SysRq's on many keyboards), which the other
# client left alone.
read -r _ held_code <"$holder_log"
other_code=$(xmodmap -pke | awk -v held="$held_code" '$4 == "Print" && $2 != held {print $2; exit}')
[ -n "$other_code" ] || e2e_fail "no second key code for Print in: $(xmodmap -pke | grep Print)"
e2e_check "Print from its other key code $other_code opens the overlay" press_for_overlay press_code "$other_code"
cancel_overlay "Print from code $other_code"
e2e_check "Alt+Print still opens the overlay" press_for_overlay xdotool key alt+Print
cancel_overlay alt+Print
e2e_check "Ctrl+Print still opens the overlay" press_for_overlay xdotool key ctrl+Print
cancel_overlay ctrl+Print
"$VEXMOR_BIN" --capture
e2e_wait_for "the overlay after vexmor --capture" 30 e2e_overlay_shown
cancel_overlay "vexmor --capture"

# --- the mapping moves Print to a code nobody holds ------------------------------------------------
xmodmap -e "keycode 107 = NoSymbol" -e "keycode 218 = NoSymbol" -e "keycode 200 = Print"
xmodmap -pke | grep -q '^keycode 200 = Print' || e2e_fail "xmodmap did not move Print"
e2e_check "Print on its new key code opens the overlay" press_for_overlay xdotool key Print
cancel_overlay "Print on code 200"
e2e_check "the other client no longer gets Print" test "$(grep -c '^press' "$holder_log")" = 1

# --- a new keymap brings Print back to its codes, which are free now ---------------------------------
kill -TERM "$HOLDER_PID"
e2e_wait_exit "$HOLDER_PID" 10 || e2e_fail "the other client did not end"
setxkbmap -layout us
xmodmap -pke | grep -q '^keycode 107 = Print' || e2e_fail "setxkbmap did not bring Print back"
e2e_check "Print opens the overlay after setxkbmap" press_for_overlay xdotool key Print
cancel_overlay "Print after setxkbmap"
e2e_check "the program still runs" e2e_alive "$VEXMOR_PID"
e2e_stop_vexmor

# --- the tray comes after the program (a panel starting late): the message waits for it ------------
kill -TERM "$TRAY_PID"
e2e_wait_exit "$TRAY_PID" 10 || e2e_fail "the tray did not end"
start_holder
e2e_start_vexmor /tray
e2e_wait_for "the main window" 30 e2e_main_windows
e2e_check "no message without a tray" eval '! balloon_within_4s'
start_tray
e2e_wait_for "the tray icon docked in the late tray" 30 icon_docked
e2e_wait_for "the tray message once the tray is there" 15 balloon
e2e_stop_vexmor
e2e_pass
