# End-to-end test helpers: a private X server, optional window manager and compositor, the real
# program, all stopped by PID when the script ends. Source this file, then call e2e_init.
#
#   e2e_init NAME                 private $E2E_DIR with HOME and XDG folders, the C.UTF-8 locale
#                                 (the program's Chinese); cleanup trap
#   e2e_start_x [WxHxD]           Xvfb -noreset on a display it picks; exports DISPLAY
#   e2e_start_xvfb WxHxD ARGS...  the same with more server arguments, DISPLAY left alone
#   e2e_start_wm [OPENBOX-ARGS] / e2e_start_wm_leaving_print / e2e_start_compositor
#   e2e_key_held KEYSYM           another client holds the key (our grab of it is refused)
#   e2e_spawn CMD...              background process stopped at the end; PID in $E2E_LAST_PID
#   e2e_start_vexmor ARGS...      the real program (VEXMOR_BIN); PID in $VEXMOR_PID
#   e2e_wait_for DESC SECS CMD... polls CMD until it succeeds, fails the test on time-out
#   e2e_wait_exit PID SECS        waits for a process to end; its status in $E2E_EXIT_STATUS
#   e2e_main_windows / e2e_overlay_shown / e2e_overlay_gone
#   e2e_start_capture / e2e_stop_vexmor / e2e_saved_picture DIR
#   e2e_window_geometry ID / e2e_press_and_drag X0 Y0 X Y
#   e2e_check_dropped OUT WORK "W H" [WHO]  the drop target's first file: checked, in $E2E_DROPPED
#   e2e_pass / e2e_fail MSG

set -u

E2E_PIDS=()
E2E_NAME=""
E2E_FAILED=0

e2e_log() { echo "[$E2E_NAME] $*" >&2; }

e2e_cleanup() {
  local pid i
  # Newest first, each one gone before the next: the program before the window manager before the
  # X server, so that nothing sees its display vanish.
  for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
    pid=${E2E_PIDS[i]}
    kill -0 "$pid" 2>/dev/null || continue
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "${E2E_DIR:-}" ] && [ -d "$E2E_DIR" ] && [ "${E2E_KEEP:-0}" != 1 ]; then
    chmod -R u+rwX "$E2E_DIR" 2>/dev/null || true
    rm -rf "$E2E_DIR"
  fi
}

# The main window: titled "Vexmor" and of the program's window class (Qt's hidden client-leader
# window carries the title too, but no class).
e2e_main_windows() { xdotool search --all --class --name '^Vexmor$' 2>/dev/null; }

# "x y w h" of a window on the screen.
e2e_window_geometry() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF}
    /Width:/{w=$NF} /Height:/{h=$NF} END{print x, y, w, h}'
}

# Presses the left button at (x0, y0) and moves in 20 steps to (x, y), holding the button there.
e2e_press_and_drag() {
  local x0=$1 y0=$2 x=$3 y=$4 i
  xdotool mousemove "$x0" "$y0"
  sleep 0.2
  xdotool mousedown 1
  sleep 0.1
  for i in $(seq 1 20); do
    xdotool mousemove $((x0 + (x - x0) * i / 20)) $((y0 + (y - y0) * i / 20))
    sleep 0.04
  done
  sleep 0.4
}

# The capture overlay's X windows, one id a line; with --onlyvisible the mapped ones only. They are
# found by their window role: their title is in the interface language.
e2e_overlay_ids() {
  local id
  for id in $(xdotool search "$@" --class vexmor 2>/dev/null); do
    xprop -id "$id" WM_WINDOW_ROLE 2>/dev/null | grep -q '= "vexmor-overlay"$' && echo "$id"
  done
  return 0
}
# The capture overlay is mapped / is not.
e2e_overlay_shown() { [ -n "$(e2e_overlay_ids --onlyvisible)" ]; }
e2e_overlay_gone() { ! e2e_overlay_shown; }

# Shows a W x H desktop on the root window whose every pixel tells where it is: red x mod 256, green
# y mod 256, blue 100 + 16 (x div 256) + (y div 256).
e2e_show_position_desktop() {
  python3 - "$1" "$2" "$E2E_DIR/desktop.ppm" <<'PY'
import sys
w, h = int(sys.argv[1]), int(sys.argv[2])
rows = bytearray()
for y in range(h):
    for x in range(w):
        rows += bytes((x & 255, y & 255, 100 + 16 * (x >> 8) + (y >> 8)))
with open(sys.argv[3], "wb") as f:
    f.write(b"P6 %d %d 255\n" % (w, h) + bytes(rows))
PY
  display -window root "$E2E_DIR/desktop.ppm" >/dev/null 2>&1 || true
}

# "r,g,b,a" of the pixel at X, Y of a picture (0..255 each).
e2e_pixel() {
  convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- | awk 'NR == 2 {
    s = $2; gsub(/[()]/, "", s); n = split(s, c, ","); if (n == 3) c[4] = 255; print c[1] "," c[2] "," c[3] "," c[4] }'
}


# Starting with no argument captures at once: the program waits for its overlay.
e2e_start_capture() {
  e2e_start_vexmor
  e2e_wait_for "the overlay" 30 e2e_overlay_shown
}
e2e_stop_vexmor() {
  kill -TERM "$VEXMOR_PID" 2>/dev/null
  e2e_wait_exit "$VEXMOR_PID" 10 || e2e_fail "the program did not end"
}
# The first PNG in a folder once one is there and reads as a whole picture; its path on stdout.
e2e_saved_picture() {
  local dir=$1
  e2e_wait_for "a picture in $dir" 30 bash -c 'compgen -G "$0/*.png" >/dev/null' "$dir"
  e2e_wait_for "the picture to be complete" 30 bash -c 'f=$(compgen -G "$0/*.png" | head -1) && identify "$f" >/dev/null 2>&1' "$dir"
  compgen -G "$dir/*.png" | head -1
}

e2e_init() {
  E2E_NAME=$1
  : "${VEXMOR_BIN:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)/build/vexmor}"
  export VEXMOR_BIN
  E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/vexmor-e2e-$1-XXXXXX")
  # The X11 scenarios run the X11 build even inside a Wayland session.
  unset WAYLAND_DISPLAY
  export HOME="$E2E_DIR/home"
  export XDG_CONFIG_HOME="$HOME/.config"
  export XDG_DATA_HOME="$HOME/.local/share"
  export XDG_CACHE_HOME="$HOME/.cache"
  export XDG_RUNTIME_DIR="$E2E_DIR/runtime"
  export XDG_DESKTOP_DIR="$HOME/Desktop"
  export XDG_DOCUMENTS_DIR="$HOME/Documents"
  mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_DESKTOP_DIR" "$XDG_DOCUMENTS_DIR"
  mkdir -m 0700 -p "$XDG_RUNTIME_DIR"
  unset DBUS_SESSION_BUS_ADDRESS VEXMOR_PLATFORM
  # The program's own Chinese whatever the developer's locale: the scenarios look for its window
  # titles. The bare C locale chooses it; a scenario that wants another language sets its own.
  unset LANGUAGE LC_ALL LC_MESSAGES
  export LANG=C.UTF-8
  export QT_QPA_PLATFORM=xcb
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM
}

e2e_spawn() {
  "$@" &
  E2E_LAST_PID=$!
  E2E_PIDS+=("$E2E_LAST_PID")
}

# Starts a private Xvfb (geometry, then extra server arguments) on a display number the server picks
# itself, so that parallel tests never end up on each other's server; the number in $E2E_X_DISPLAY.
e2e_start_xvfb() {
  local geometry=$1 out
  shift
  out=$(mktemp "$E2E_DIR/xvfb-display.XXXXXX")
  e2e_spawn Xvfb -displayfd 1 -noreset -nolisten tcp -screen 0 "$geometry" "$@" >"$out"
  e2e_poll 20 test -s "$out" || e2e_fail "Xvfb did not start"
  E2E_X_DISPLAY=":$(head -n1 "$out")"
  DISPLAY=$E2E_X_DISPLAY e2e_poll 20 xdpyinfo || e2e_fail "Xvfb on $E2E_X_DISPLAY does not answer"
}

e2e_start_x() {
  e2e_start_xvfb "${1:-1920x1080x24}"
  export DISPLAY=$E2E_X_DISPLAY
}

e2e_start_wm() {
  e2e_spawn openbox --sm-disable "$@"
  e2e_wait_for "window manager" 20 bash -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
  # Openbox may announce itself before it grabs its keys: a program started at once could take
  # Print first. With the stock configuration, wait until openbox holds it.
  if [ $# = 0 ] && grep -q '<keybind key="Print">' /etc/xdg/openbox/rc.xml; then
    e2e_wait_for "the window manager's grab of Print" 20 e2e_key_held Print
  fi
}

# Whether another client holds KEYSYM (without modifiers) on the root window: our own grab of it
# is refused then.
e2e_key_held() {
  python3 - "$1" <<'PY' 2>/dev/null
import ctypes, ctypes.util, sys
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x.XOpenDisplay.restype = ctypes.c_void_p
d = x.XOpenDisplay(None)
if not d: sys.exit(2)
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XStringToKeysym.restype = ctypes.c_ulong
x.XKeysymToKeycode.restype = ctypes.c_ubyte
x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XGrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int,
                       ctypes.c_int, ctypes.c_int]
x.XUngrabKey.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_uint, ctypes.c_ulong]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
refused = []
handler = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(
    lambda display, event: refused.append(1) or 0)
x.XSetErrorHandler(handler)
code = x.XKeysymToKeycode(d, x.XStringToKeysym(sys.argv[1].encode()))
root = x.XDefaultRootWindow(d)
x.XGrabKey(d, code, 0, root, 0, 1, 1)
x.XSync(d, 0)
x.XUngrabKey(d, code, 0, root)
x.XSync(d, 0)
sys.exit(0 if refused else 1)
PY
}

# Openbox's stock configuration binds Print and Alt+Print itself; this one leaves them to Vexmor.
e2e_start_wm_leaving_print() {
  local rc="$E2E_DIR/rc.xml"
  python3 - /etc/xdg/openbox/rc.xml "$rc" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
text = re.sub(r'<keybind key="(A-)?Print">.*?</keybind>', '', text, flags=re.S)
open(sys.argv[2], 'w').write(text)
PY
  e2e_start_wm --config-file "$rc"
}

e2e_start_compositor() {
  e2e_spawn xcompmgr
  # The compositor owns the selection _NET_WM_CM_S0 once it runs.
  e2e_wait_for "compositor" 20 e2e_has_compositor
}

e2e_has_compositor() {
  python3 - <<'PY' 2>/dev/null
import ctypes, ctypes.util, os, sys
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
x.XOpenDisplay.restype = ctypes.c_void_p
d = x.XOpenDisplay(None)
if not d: sys.exit(1)
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
atom = x.XInternAtom(d, b"_NET_WM_CM_S0", 0)
sys.exit(0 if x.XGetSelectionOwner(d, atom) else 1)
PY
}

# The first drop the drop target wrote down in OUT: the file lies in the work folder WORK, existed
# when the target read it and is a PNG of W x H pixels. Its path in $E2E_DROPPED.
e2e_check_dropped() { # OUT WORK "W H" [WHO]
  local who=${4:-target} drop path exists size dims
  drop=$(grep '^DROP ' "$1" | head -1)
  e2e_log "the $who got: $drop"
  read -r _ path exists size <<<"$drop"
  e2e_check "the $who got a file in the work folder ($path)" [ "$(dirname "$path")" = "$2" ]
  e2e_check "the file existed when the $who read it" [ "$exists" = 1 -a "$size" -gt 0 ]
  dims=$(identify -format '%m %w %h' "$path" 2>/dev/null)
  e2e_check "the file is a ${3/ / x } PNG ($dims)" [ "$dims" = "PNG $3" ]
  E2E_DROPPED=$path
}

e2e_start_vexmor() {
  e2e_spawn "$VEXMOR_BIN" "$@"
  VEXMOR_PID=$E2E_LAST_PID
}

# Polls quietly; returns non-zero on time-out.
e2e_poll() {
  local secs=$1
  shift
  local deadline=$((SECONDS + secs))
  while [ $SECONDS -lt $deadline ]; do
    if "$@" >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

e2e_wait_for() {
  local desc=$1 secs=$2
  shift 2
  e2e_poll "$secs" "$@" || e2e_fail "timed out after ${secs}s waiting for: $desc"
}

e2e_wait_exit() {
  local pid=$1 secs=$2 deadline=$((SECONDS + $2))
  while kill -0 "$pid" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then
      return 1
    fi
    sleep 0.05
  done
  wait "$pid" 2>/dev/null
  E2E_EXIT_STATUS=$?
  return 0
}

e2e_alive() { kill -0 "$1" 2>/dev/null; }

e2e_check() {
  local desc=$1
  shift
  if "$@"; then
    e2e_log "ok: $desc"
  else
    e2e_log "FAILED: $desc"
    E2E_FAILED=1
  fi
}

e2e_fail() {
  e2e_log "FAILED: $*"
  exit 1
}

e2e_pass() {
  if [ "$E2E_FAILED" != 0 ]; then
    exit 1
  fi
  e2e_log "passed"
  exit 0
}
