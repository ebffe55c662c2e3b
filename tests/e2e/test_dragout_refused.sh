#!/usr/bin/env bash
# Drops that must not leave a file, and the selected format: with JPEG selected, the card dropped on
# a window that refuses files and on the bare background writes nothing; dropped on a window that
# accepts files it gives a ".jpg" file that decodes as a JPEG of the captured size.
set -u
source "$(dirname "$0")/lib.sh"
e2e_init dragout_refused
: "${VEXMOR_DROP_TARGET:=$(dirname "$VEXMOR_BIN")/tests/vexmor_drop_target}"
[ -x "$VEXMOR_DROP_TARGET" ] || e2e_fail "no drop target program at $VEXMOR_DROP_TARGET"
e2e_start_x 1920x1080x24
e2e_start_compositor

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=0\nFormatSel=1\nCapCursorBox=0\nAutoTitleBox=0\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
WORK="$XDG_DOCUMENTS_DIR/我的视频捕获"

card_id() { xdotool search --onlyvisible --name '^Thumbnail$' 2>/dev/null | head -1; }
card_shown() { [ -n "$(card_id)" ]; }
# The drag-out's files (the history keeps every capture in a folder of its own there).
work_files() { find "$WORK" -path "$WORK/history" -prune -o -type f -print 2>/dev/null | wc -l; }
drop_card_at() {  # x y: a full drag from the card's centre, released there
  local x0 y0 cx cy cw ch
  e2e_wait_for "the card" 20 card_shown
  sleep 1.2
  read -r cx cy cw ch < <(e2e_window_geometry "$(card_id)")
  x0=$((cx + cw / 2)); y0=$((cy + ch / 2))
  e2e_press_and_drag "$x0" "$y0" "$1" "$2"
  xdotool mouseup 1
  sleep 1.5
}

REFUSE_OUT="$E2E_DIR/refuse.out" ACCEPT_OUT="$E2E_DIR/accept.out"
e2e_spawn "$VEXMOR_DROP_TARGET" 100 100 400 300 --refuse >"$REFUSE_OUT" 2>/dev/null
e2e_spawn "$VEXMOR_DROP_TARGET" 700 100 400 300 >"$ACCEPT_OUT" 2>/dev/null
e2e_wait_for "the drop targets" 20 bash -c "grep -q READY '$REFUSE_OUT' && grep -q READY '$ACCEPT_OUT'"

e2e_start_vexmor
e2e_wait_for "the overlay" 30 e2e_overlay_shown
xdotool mousemove 900 600 keydown ctrl mousedown 1 mousemove 1000 700 mousemove 1139 759 mouseup 1 keyup ctrl

drop_card_at 300 250
e2e_check "a refusing window gets nothing" bash -c "! grep -q '^DROP' '$REFUSE_OUT'"
e2e_check "a refused drop writes nothing ($(work_files) files)" [ "$(work_files)" = 0 ]

drop_card_at 960 900
e2e_check "a drop on the bare background writes nothing ($(work_files) files)" [ "$(work_files)" = 0 ]

drop_card_at 900 250
e2e_wait_for "the accepted drop" 15 grep -q '^DROPPED' "$ACCEPT_OUT"
read -r _ path exists _ < <(grep '^DROP ' "$ACCEPT_OUT" | head -1)
e2e_check "the accepting window got a .jpg that exists ($path)" [ "${path##*.}" = jpg -a "$exists" = 1 ]
dims=$(identify -format '%m %w %h' "$path" 2>/dev/null)
e2e_check "the file is a 240 x 160 JPEG ($dims)" [ "$dims" = "JPEG 240 160" ]
e2e_check "exactly one file was written ($(work_files))" [ "$(work_files)" = 1 ]
e2e_pass
