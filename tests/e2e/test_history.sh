#!/usr/bin/env bash
# The history as a user meets it: two captures whose after-capture action never shows the window
# (copy to the clipboard) are kept as pictures with their alpha in the work folder's history folder;
# after a restart `vexmor --history`, handed to the copy waiting in the tray, shows the window on the
# history tab with both, newest on top; an index damaged by hand costs only its damaged lines, and
# Vexmor started with it shows the tab as before and ends normally.
set -u
source "$(dirname "$0")/lib.sh"
e2e_init history
e2e_start_x 1280x800x24
e2e_start_wm

# A desktop red on the left, blue on the right: each capture's thumbnail shows which one it is.
convert -size 1280x800 xc:'#0000ff' -fill '#ff0000' -draw 'rectangle 0,0 639,799' "$E2E_DIR/desktop.png"
display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=3\nAlwaysCBBox=0\nCapCursorBox=0\nAutoTitleBox=0\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
HIST="$XDG_DOCUMENTS_DIR/我的视频捕获/history"
INDEX="$HIST/index.jsonl"

index_lines() { [ -f "$INDEX" ] && [ "$(grep -c . "$INDEX")" = "$1" ]; }
main_visible() { xdotool search --onlyvisible --class --name '^Vexmor$' 2>/dev/null | head -1 | grep .; }
# A rectangle from (x0, y0) to (x1, y1), both included, with Ctrl and the left button.
capture_rect() {
  e2e_wait_for "the overlay" 30 e2e_overlay_shown
  xdotool mousemove "$1" "$2" keydown ctrl mousedown 1 mousemove $((($1 + $3) / 2)) $((($2 + $4) / 2)) \
    mousemove "$3" "$4" mouseup 1 keyup ctrl
  e2e_wait_for "the overlay to close" 20 e2e_overlay_gone
}
# The box "WxH+X+Y" of the pixels of one colour in a picture ("0x0+..." when there are none).
colour_box() {
  convert "$1" -alpha off -fuzz 1% -fill black +opaque "$2" -fill white -opaque "$2" -format '%@' info: 2>/dev/null
}
# The window shown has the history tab, with a red and a blue thumbnail, the blue (newer) above.
shows_both() {
  local id red blue
  id=$(main_visible) || return 1
  import -window "$id" "$E2E_DIR/shown.png" 2>/dev/null || return 1
  red=$(colour_box "$E2E_DIR/shown.png" '#ff0000')
  blue=$(colour_box "$E2E_DIR/shown.png" '#0000ff')
  echo "red thumbnail $red, blue thumbnail $blue" >"$E2E_DIR/shown.txt"
  # 200 x 150 captures: thumbnails of 107 x 80.
  [ "${red%%+*}" = 107x80 ] && [ "${blue%%+*}" = 107x80 ] && [ "${blue##*+}" -lt "${red##*+}" ]
}

# Two captures: the first at launch, the second asked of the running copy.
e2e_start_vexmor
capture_rect 100 100 299 249
e2e_wait_for "the first capture in the history" 30 index_lines 1
"$VEXMOR_BIN" --capture || e2e_fail "vexmor --capture was not handed over"
capture_rect 900 300 1099 449
e2e_wait_for "the second capture in the history" 30 index_lines 2
e2e_check "the window stayed hidden" bash -c '! xdotool search --onlyvisible --class --name "^Vexmor$" | grep -q .'
e2e_stop_vexmor

mapfile -t pictures < <(cd "$HIST" && ls -- *.png | grep -v '\.thumb\.png$' | sort)
e2e_check "two pictures and two thumbnails (${pictures[*]})" \
  [ "${#pictures[@]}" = 2 -a "$(ls "$HIST" | grep -c '\.thumb\.png$')" = 2 ]
for p in "${pictures[@]}"; do
  e2e_check "$p is a whole 200 x 150 PNG with alpha" \
    [ "$(identify -format '%m %w %h %[channels]' "$HIST/$p" 2>/dev/null)" = "PNG 200 150 srgba" ]
done
e2e_check "the first is red ($(e2e_pixel "$HIST/${pictures[0]}" 50 50))" [ "$(e2e_pixel "$HIST/${pictures[0]}" 50 50)" = 255,0,0,255 ]
e2e_check "the second is blue" [ "$(e2e_pixel "$HIST/${pictures[1]}" 50 50)" = 0,0,255,255 ]

# After a restart, --history handed to the copy in the tray.
e2e_start_vexmor --tray
e2e_wait_for "the program's hidden window" 30 bash -c 'xdotool search --all --class --name "^Vexmor$" | grep -q .'
"$VEXMOR_BIN" --history || e2e_fail "vexmor --history was not handed over"
e2e_wait_for "the history tab with both captures, newest on top" 30 shows_both
e2e_log "$(cat "$E2E_DIR/shown.txt")"
e2e_stop_vexmor

# Damage by hand: noise, a line cut short, an entry whose picture has gone, a path out of the folder.
{
  printf '\001\377 not json\n'
  cat "$INDEX"
  printf '{"file":"gone.png","time":"2026-01-01T00:00:00.000Z","name":"gone","size":[5,5]}\n'
  printf '{"file":"../../Vexmor.png","time":"2026-01-01T00:00:00.000Z"}\n'
  printf '{"file":"20260101-000000-000.png","ti'
} >"$INDEX.new" && mv "$INDEX.new" "$INDEX"
e2e_start_vexmor --history
e2e_wait_for "the history tab with both captures from the damaged index" 30 shows_both
e2e_check "vexmor runs on" e2e_alive "$VEXMOR_PID"
e2e_wait_for "the index mended to its two readable entries" 20 index_lines 2
e2e_stop_vexmor
e2e_check "vexmor ended normally (status $E2E_EXIT_STATUS)" [ "$E2E_EXIT_STATUS" = 0 ]
e2e_pass
