#!/usr/bin/env bash
# Dragging the capture out on a Wayland compositor (headless sway, one output), where the thumbnail
# card cannot fly and the main window's capture tab shows the capture's picture instead, driven by the
# compositor's virtual pointer: after a confirmed rectangle capture the tab shows exactly the captured
# pixels; that picture dragged onto a window that accepts files (one that reads the list as soon as
# the drag enters it) hands the window a path whose file exists when it reads it and holds exactly
# the captured pixels; a drag that passes over that window and is released over one that refuses
# files leaves nothing in the work folder, and the next drop adds exactly one file.
#
# Escape during a drag is not checked here: while a drag runs, sway keeps every key from every
# client (its wlroots seat swallows keyboard input during drags), so no program can see it.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_dragout
wl_prepare
: "${VEXMOR_DROP_TARGET:=$(dirname "$VEXMOR_BIN")/tests/vexmor_drop_target}"
[ -x "$VEXMOR_DROP_TARGET" ] || e2e_fail "no drop target program at $VEXMOR_DROP_TARGET"

wl_background bg1.png 1920x1080
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"

wl_start_compositor 1 "output HEADLESS-1 resolution 1920x1080 position 0 0 bg $WL_FILES/bg1.png stretch"
wl_install_program
wl_input_start
# After a capture the main window shows it.
settings 0
start_resident
WORK="$XDG_DOCUMENTS_DIR/我的视频捕获"
# The drag-out's files (the history keeps every capture in a folder of its own there).
work_files() { find "$WORK" -path "$WORK/history" -prune -o -type f -print 2>/dev/null | wc -l; }

# "x y w h" of the visible window titled NAME (and of process PID, if given), as sway lays it out.
window_rect() { # NAME [PID]
  wl_swaymsg -t get_tree | /usr/bin/python3 -c 'import json, sys
name, pid = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else None
def walk(n):
    if n.get("name") == name and n.get("visible") and (pid is None or n.get("pid") == pid):
        r = n["rect"]; print(r["x"], r["y"], r["width"], r["height"]); return True
    return any(walk(c) for c in n.get("nodes", []) + n.get("floating_nodes", []))
sys.exit(0 if walk(json.load(sys.stdin)) else 1)' "$@"
}

# 1. A Ctrl rectangle of the desktop: the capture tab then shows its picture, at its own size.
wl_input move 700 300
wl_grim "$WL_FILES/region.png" -g "700,300 300x150"
capture
ctrl_rectangle 700 300 300 150
e2e_wait_for "the overlay to go" 10 overlay_gone
e2e_wait_for "the main window" 20 window_rect Vexmor
# The pointer out of the window's picture (the headless output draws it into every copy).
wl_input move 100 100
convert "$WL_FILES/region.png" -crop 24x24+40+40 +repage "$E2E_DIR/patch.png"
# The captured pixels where the window shows them: "x y" of their top left corner on the layout.
preview_at() {
  local x y w h at dx dy
  read -r x y w h < <(window_rect Vexmor) || return 1
  wl_grim "$E2E_DIR/main.png" -g "$x,$y ${w}x$h"
  at=$(compare -metric AE -subimage-search "$E2E_DIR/main.png" "$E2E_DIR/patch.png" null: 2>&1 | awk '$1 == 0 {print $3}')
  [ -n "$at" ] || return 1
  dx=$((${at%,*} - 40)) dy=$((${at#*,} - 40))
  [ "$dx" -ge 0 ] && [ "$dy" -ge 0 ] || return 1
  convert "$E2E_DIR/main.png" -crop "300x150+$dx+$dy" +repage "$E2E_DIR/shown.png"
  [ "$(compare -metric AE "$E2E_DIR/shown.png" "$WL_FILES/region.png" null: 2>&1)" = 0 ] || return 1
  echo "$((x + dx)) $((y + dy))"
}
e2e_wait_for "the capture tab to show exactly the captured pixels" 60 preview_at
read -r px py < <(preview_at)
e2e_log "main window at $(window_rect Vexmor), the captured picture at $px,$py"
sx=$((px + 150)) sy=$((py + 75))

# Two windows that take drops beside the main one: sway tiles them side by side, left and right, under
# the main window, which floats (its size is fixed) in the middle of the screen.
ACCEPT_OUT="$E2E_DIR/accept.out" REFUSE_OUT="$E2E_DIR/refuse.out"
target=$(wl_copy_in "$VEXMOR_DROP_TARGET")
wl_spawn "$target" 0 0 600 400 --read-on-enter >"$ACCEPT_OUT" 2>"$E2E_DIR/accept.err"
accept_pid=$E2E_LAST_PID
e2e_wait_for "the accepting window" 20 window_rect VexmorDropTarget "$accept_pid"
wl_spawn "$target" 0 0 600 400 --refuse >"$REFUSE_OUT" 2>"$E2E_DIR/refuse.err"
refuse_pid=$E2E_LAST_PID
e2e_wait_for "the refusing window" 20 window_rect VexmorDropTarget "$refuse_pid"
two_tiles() {
  [ "$(window_rect VexmorDropTarget "$accept_pid")" = "0 0 960 1080" ] &&
    [ "$(window_rect VexmorDropTarget "$refuse_pid")" = "960 0 960 1080" ]
}
e2e_wait_for "the two windows side by side" 20 two_tiles
# Where each one is drawn (the pointer kept off the watched pixels), and the main window still over them.
drawn() { [ "$(pixel_now "$1" "$2" | cut -c1-6)" = 28783C ]; } # the windows' rgb(40, 120, 60)
e2e_wait_for "the accepting window on screen" 20 drawn 400 700
e2e_wait_for "the refusing window on screen" 20 drawn 1500 700
e2e_wait_for "the captured picture still shown above them" 60 preview_at
e2e_check "the main window has not moved" [ "$(preview_at)" = "$px $py" ]

# The lines a window printed after its first MARK lines.
lines_after() { tail -n +$(($2 + 1)) "$1"; }
lines_of() { grep -c '' "$1"; }

# Moves the held pointer in 20 steps from where it is to X Y, until the window there has seen the drag
# come in (it prints WORD; with MARK, only after its first MARK lines). The compositor tells the
# window under the pointer only at a motion after the drag began on the program's side (once the
# pointer passed the drag distance): until the window sees it, the pointer steps aside and back.
drag_on() { # X Y OUT WORD [MARK]
  local x=$1 y=$2 i deadline=$((SECONDS + 20)) mark=${5:-0}
  for i in $(seq 1 20); do
    wl_input move $((at_x + (x - at_x) * i / 20)) $((at_y + (y - at_y) * i / 20))
  done
  at_x=$x at_y=$y
  until lines_after "$3" "$mark" | grep -q "^$4"; do
    [ $SECONDS -lt $deadline ] || {
      wl_input release left
      e2e_fail "timed out after 20s waiting for the drag to come into the window at $x,$y"
    }
    sleep 0.1
    wl_input move $((x + 1)) "$y"
    wl_input move "$x" "$y"
  done
}
# Presses on the middle of the captured picture, then drag_on.
drag_to() { # X Y OUT WORD [MARK]
  wl_input move $((sx - 1)) "$sy"
  wl_input move "$sx" "$sy"
  wl_input press left
  at_x=$sx at_y=$sy
  drag_on "$@"
}

# 2. Dragged onto the accepting window: the file exists when the window reads it and holds exactly the
# captured pixels.
drag_to 400 540 "$ACCEPT_OUT" ENTER
e2e_check "the window read a path as the drag came in" grep -qx 'ENTER 1' "$ACCEPT_OUT"
wl_input release left
e2e_wait_for "the drop" 20 grep -q '^DROPPED' "$ACCEPT_OUT"
e2e_check_dropped "$ACCEPT_OUT" "$WORK" "300 150" window
path=$E2E_DROPPED
convert "$path" -alpha off "$E2E_DIR/got.png"
same_pixels "$E2E_DIR/got.png" "$WL_FILES/region.png" "the file holds exactly the captured pixels"
e2e_check "one file in the work folder ($(work_files))" [ "$(work_files)" = 1 ]
first=$path

# 3. Over the accepting window (which reads the list as the drag comes in), on to the refusing one and
# released there: nothing is left in the work folder. Then a drop on the accepting window again: it
# can begin only once the refused drag has ended, and it adds exactly one file.
e2e_wait_for "the picture still shown after the drop" 60 preview_at
mark=$(lines_of "$ACCEPT_OUT")
drag_to 400 540 "$ACCEPT_OUT" ENTER "$mark"
drag_on 1500 540 "$REFUSE_OUT" REFUSE
wl_input release left
mark=$(lines_of "$ACCEPT_OUT")
drag_to 400 540 "$ACCEPT_OUT" ENTER "$mark"
wl_input release left
e2e_wait_for "the second drop" 20 bash -c "tail -n +$((mark + 1)) '$ACCEPT_OUT' | grep -q '^DROPPED'"
e2e_check "the refusing window got nothing" bash -c "! grep -q '^DROP' '$REFUSE_OUT'"
read -r _ path exists _ < <(lines_after "$ACCEPT_OUT" "$mark" | grep '^DROP ' | head -1)
e2e_check "the second drop got another file that exists ($path)" [ -n "$path" -a "$path" != "$first" -a "$exists" = 1 ]
e2e_check "the refused drop left nothing: two files in the work folder ($(find "$WORK" -path "$WORK/history" -prune -o -type f -print | paste -sd' '))" \
  [ "$(work_files)" = 2 ]
convert "$path" -alpha off "$E2E_DIR/got2.png"
same_pixels "$E2E_DIR/got2.png" "$WL_FILES/region.png" "the second file holds exactly the captured pixels"

e2e_check "the program still runs" e2e_alive "$VEXMOR_PID"
e2e_pass
