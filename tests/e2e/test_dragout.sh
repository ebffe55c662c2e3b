#!/usr/bin/env bash
# The thumbnail card and dragging the capture out, as a user meets them, under a compositor:
# after a confirmed capture the card appears beside the main window on the side away from it and
# keeps moving; dragged onto a window that accepts files (one that reads the list as soon as the drag
# enters it), the window receives a path whose file exists and holds exactly the captured pixels;
# Escape during a drag writes nothing; hiding the main window fades the card out, showing it again
# from the tray brings it back.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/tray_lib.sh"
e2e_init dragout
: "${VEXMOR_DROP_TARGET:=$(dirname "$VEXMOR_BIN")/tests/vexmor_drop_target}"
[ -x "$VEXMOR_DROP_TARGET" ] || e2e_fail "no drop target program at $VEXMOR_DROP_TARGET"
e2e_start_x 1920x1080x24
e2e_start_compositor
command -v trayer >/dev/null || e2e_fail "trayer is not installed (scripts/deps.sh)"

# A picture whose every pixel differs from its neighbours, so that an offset by one pixel shows.
convert -size 640x540 xc:gray -seed 7 +noise Random -depth 8 "$E2E_DIR/tile.png"
convert -size 1920x1080 tile:"$E2E_DIR/tile.png" -depth 8 "$E2E_DIR/desktop.png"
# The compositor paints the root window itself: the picture goes into a window covering the screen.
e2e_spawn display -immutable -borderwidth 0 -geometry +0+0 "$E2E_DIR/desktop.png"
e2e_wait_for "the background picture" 20 bash -c "xdotool search --onlyvisible --name 'ImageMagick' | grep -q ."
# The tray's panel above the picture.
e2e_spawn trayer --edge top --align right --widthtype request --height 32 --SetDockType true --transparent false

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=0\nFormatSel=0\nTransPNGBox=1\nCapCursorBox=0\nAutoTitleBox=0\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
WORK="$XDG_DOCUMENTS_DIR/我的视频捕获"

card_id() { xdotool search --onlyvisible --name '^Thumbnail$' 2>/dev/null | head -1; }
card_shown() { [ -n "$(card_id)" ]; }
card_gone() { [ -z "$(card_id)" ]; }
# The drag-out's files (the history keeps every capture in a folder of its own there).
work_files() { find "$WORK" -path "$WORK/history" -prune -o -type f -print 2>/dev/null | wc -l; }

# The drop target, away from the main window (lower left) and from the captured area.
TARGET_OUT="$E2E_DIR/target.out"
e2e_spawn "$VEXMOR_DROP_TARGET" 700 150 500 350 --read-on-enter >"$TARGET_OUT" 2>"$E2E_DIR/target.err"
e2e_wait_for "the drop target" 20 grep -q READY "$TARGET_OUT"

# 1. A rectangle capture pops up the main window with the card.
e2e_start_vexmor
e2e_wait_for "the overlay" 30 e2e_overlay_shown
e2e_wait_for "the tray icon" 20 bash -c '[ -n "$(xwininfo -root -tree | awk '"'"'/"panel"/ {p = 1} p && /"Vexmor"/ {print $1; exit}'"'"')" ]'
xdotool mousemove 1100 600 keydown ctrl mousedown 1 mousemove 1200 700 mousemove 1399 799 mouseup 1 keyup ctrl
e2e_wait_for "the main window" 20 main_shown
e2e_wait_for "the card" 20 card_shown
sleep 1.5
read -r mx my mw mh < <(e2e_window_geometry "$(visible_main)")
read -r cx cy cw ch < <(e2e_window_geometry "$(card_id)")
e2e_log "main window at $mx,$my ${mw}x$mh; card at $cx,$cy ${cw}x$ch"
# The picture is 300 x 200 with its 9-pixel shadow border: 318 x 218; the main window is in the left
# half, so the card rests at the right edge, its outer edge 48 pixels in (give or take the sway).
centre_x=$((cx + cw / 2))
e2e_check "card rests at the right edge (centre x $centre_x, want about $((1920 - 159 - 48)))" \
  [ "$centre_x" -gt $((1920 - 159 - 48 - 25)) -a "$centre_x" -lt $((1920 - 159 - 48 + 25)) ]
e2e_check "card is about the picture's size (${cw}x$ch)" [ "$cw" -ge 300 -a "$cw" -le 360 ]
import -window root -crop "${cw}x${ch}+${cx}+${cy}" "$E2E_DIR/card1.png"
sleep 0.4
import -window root -crop "${cw}x${ch}+${cx}+${cy}" "$E2E_DIR/card2.png"
moved=$(compare -metric AE "$E2E_DIR/card1.png" "$E2E_DIR/card2.png" null: 2>&1 | cut -d' ' -f1)
e2e_check "the card keeps moving ($moved pixels differ)" [ "${moved%.*}" -gt 0 ]

# 2. Dragged onto the target: the file exists when the target reads it and holds the capture.
drag_card_to() {  # x y, then what to do before releasing
  local x0 y0
  read -r cx cy cw ch < <(e2e_window_geometry "$(card_id)")
  x0=$((cx + cw / 2)); y0=$((cy + ch / 2))
  e2e_press_and_drag "$x0" "$y0" "$1" "$2"
}
drag_card_to 950 325
e2e_check "the main window steps aside during the drag" main_hidden
xdotool mouseup 1
e2e_wait_for "the drop" 15 grep -q '^DROPPED' "$TARGET_OUT"
e2e_check_dropped "$TARGET_OUT" "$WORK" "300 200"
path=$E2E_DROPPED
convert "$E2E_DIR/desktop.png" -crop 300x200+1100+600 +repage "$E2E_DIR/want.png"
convert "$path" -alpha off "$E2E_DIR/got.png"
diff=$(compare -metric AE "$E2E_DIR/got.png" "$E2E_DIR/want.png" null: 2>&1)
e2e_check "the file holds exactly the captured pixels (differing: $diff)" [ "$diff" = "0" ]
e2e_wait_for "the main window back after the drag" 10 main_shown
e2e_wait_for "the card back after the drag" 10 card_shown
files=$(work_files)

# 3. Escape during a drag over the same target (which reads the list on entering): nothing written.
sleep 1
: >"$TARGET_OUT"
drag_card_to 950 325
e2e_wait_for "the target to see the drag" 10 grep -q '^ENTER' "$TARGET_OUT"
xdotool key Escape
sleep 0.2
xdotool mouseup 1
sleep 1.5
e2e_check "Escape leaves no new file ($(work_files) vs $files)" [ "$(work_files)" = "$files" ]
e2e_check "Escape drops nothing" bash -c "! grep -q '^DROP' '$TARGET_OUT'"
e2e_wait_for "the main window back after Escape" 10 main_shown

# 4. Hiding the main window fades the card out; showing it from the tray brings it back.
read -r mx my mw mh < <(e2e_window_geometry "$(visible_main)")
xdotool mousemove $((mx + mw / 2)) $((my + 40))
sleep 0.3
xdotool key Escape
e2e_wait_for "the main window to hide" 10 main_hidden
e2e_wait_for "the card to fade out" 10 card_gone
read -r ix iy iw ih < <(e2e_window_geometry "$(tray_icon)")
xdotool mousemove $((ix + iw / 2)) $((iy + ih / 2)) click --repeat 2 --delay 80 1
e2e_wait_for "the main window from the tray" 10 main_shown
e2e_wait_for "the card to come back" 10 card_shown
e2e_check "the program still runs" e2e_alive "$VEXMOR_PID"
e2e_pass
