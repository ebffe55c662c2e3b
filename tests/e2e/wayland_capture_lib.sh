# The program's own steps in the Wayland scenarios: its settings, its resident copy, a capture by
# command waited for until the tinted desktop is on screen, a Ctrl rectangle, the saved picture and a
# pixel comparison.
# Source after lib.sh and wayland_lib.sh, once wl_prepare has run.

DESK="$XDG_DESKTOP_DIR"

settings() { # AFTER-CAPTURE-INDEX
  mkdir -p "$XDG_CONFIG_HOME/Vexmor"
  printf '[Software\\Vexmor]\nAfterCaptureSel=%s\nFormatSel=0\nTransPNGBox=1\nCapCursorBox=0\n' "$1" \
    >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
  [ "$(id -u)" = 0 ] && chown -R "$(stat -c %u "$XDG_RUNTIME_DIR")" "$HOME"
  return 0
}
overlay_shown() { [ "$(wl_overlay_windows)" -ge "${1:-1}" ]; }
overlay_gone() { [ "$(wl_overlay_windows)" = 0 ]; }
start_resident() { # [ENV...]
  wl_spawn env "$@" "$WL_VEXMOR" /tray >>"$E2E_DIR/vexmor.out" 2>&1
  VEXMOR_PID=$E2E_LAST_PID
  e2e_wait_for "the resident copy's socket" 30 bash -c 'compgen -G "$0/TVexmorMainForm-*" >/dev/null' "$XDG_RUNTIME_DIR"
}
# A monitor of the session bus into $E2E_DIR/monitor.log with these match rules; bus_calls MEMBER
# counts the calls of MEMBER it saw.
start_bus_monitor() { # RULE...
  wl_spawn dbus-monitor --session "$@" >"$E2E_DIR/monitor.log" 2>&1
  e2e_wait_for "the bus monitor" 20 grep -q NameAcquired "$E2E_DIR/monitor.log"
}
bus_calls() { grep -c "member=$1\$" "$E2E_DIR/monitor.log"; }
# The probe window full screen on the picture $WL_FILES/NAME: a desktop without its shell (KWin
# alone) or under a dialog shows something known.
show_picture() { # NAME
  local probe
  : "${VEXMOR_WL_PROBE:=$(dirname "$VEXMOR_BIN")/tests/vexmor_wl_probe}"
  [ -x "$VEXMOR_WL_PROBE" ] || e2e_fail "no probe window at $VEXMOR_WL_PROBE"
  probe=$(wl_copy_in "$VEXMOR_WL_PROBE")
  wl_spawn env VEXMOR_PROBE_PICTURE="$WL_FILES/$1" "$probe" "$WL_FILES/probe.log"
  e2e_wait_for "the probe window" 30 grep -q '^exposed' "$WL_FILES/probe.log"
}
# The colour of one layout pixel on screen now.
pixel_now() { wl_run grim -g "$1,$2 1x1" - | convert - -format '%[hex:p{0,0}]' info:; }
pixel_differs() { [ "$(pixel_now "$1" "$2")" != "$3" ]; }
# The overlay on its outputs, and its tinted desktop on screen where a pixel of the layout changes.
capture() { # OVERLAY-WINDOWS [X Y]
  local x=${2:-5} y=${3:-5} plain
  plain=$(pixel_now "$x" "$y")
  wl_run "$WL_VEXMOR" --capture || e2e_fail "vexmor --capture failed"
  e2e_wait_for "the overlay on ${1:-1} output(s)" 30 overlay_shown "${1:-1}"
  e2e_wait_for "the tinted desktop on screen" 30 pixel_differs "$x" "$y" "$plain"
}
# A Ctrl rectangle on the open overlay, from X Y to the pixel W x H from there (the last one inside);
# ctrl_rectangle_drag leaves the button and Ctrl held, ctrl_rectangle_release lets them go.
ctrl_rectangle_drag() { # X Y W H
  wl_input keydown Control_L
  wl_input move "$1" "$2"
  wl_input press left
  wl_input move $(($1 + $3 / 3)) $(($2 + $4 / 2))
  wl_input move $(($1 + $3 - 1)) $(($2 + $4 - 1))
}
ctrl_rectangle_release() {
  wl_input release left
  wl_input keyup Control_L
}
ctrl_rectangle() { # X Y W H
  ctrl_rectangle_drag "$@"
  ctrl_rectangle_release
}
saved() { e2e_saved_picture "$DESK"; }
# The saved picture, checked to be W x H, its path on stdout.
saved_of_size() { # "W H" LABEL
  local f size
  f=$(saved)
  size=$(identify -format '%w %h' "$f")
  e2e_check "$2 is ${1/ / x } (got $size)" [ "$size" = "$1" ]
  echo "$f"
}
# The saved picture, W x H and equal to WANT (by default the compositor's picture) without its alpha.
saved_equals() { # "W H" WANT LABEL [WHAT-WANT-IS]
  local f what="the compositor's picture"
  [ $# -ge 4 ] && what=$4
  f=$(saved_of_size "$1" "$3")
  convert "$f" -alpha off "$E2E_DIR/got.png"
  same_pixels "$E2E_DIR/got.png" "$2" "$3 equals $what"
}
same_pixels() { # GOT WANT LABEL
  local diff
  diff=$(compare -metric AE "$1" "$2" null: 2>&1)
  e2e_check "$3 (differing pixels: $diff)" [ "$diff" = "0" ]
}
