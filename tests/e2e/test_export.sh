#!/usr/bin/env bash
# Export end to end, as a user: a rectangle capture pops up the main window and the clipboard holds
# the unscaled capture; a typed name (with characters a file name cannot hold and shell syntax that
# must stay a name) and a comment, then Enter, save a PNG on the desktop at 50 % with the caption, and
# the capture is discarded; a second capture goes to the editor named by $VEXMOR_EDITOR (Alt+E), which
# receives the work file as one argument. Then the format setting WebP and AVIF at quality 100: the
# desktop files decode with the formats' own tools (dwebp, avifdec) to the screen's very pixels.
set -u
source "$(dirname "$0")/lib.sh"
e2e_init export
e2e_start_x 1280x800x24
e2e_start_wm

# A calm background without white, so the caption's white letters can be counted.
convert -size 1280x800 gradient:'#405070-#806040' -depth 8 "$E2E_DIR/desktop.png"
display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=0\nFormatSel=0\nEditFormatSel=0\nTransPNGBox=1\nScalingSel=50\nCapCursorBox=0\nAlwaysCBBox=1\nAutoTitleBox=0\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
DESK="$XDG_DESKTOP_DIR"
WORK="$XDG_DOCUMENTS_DIR/我的视频捕获"

# The editor: records its arguments, one per line.
cat >"$E2E_DIR/editor.sh" <<'SH'
#!/bin/sh
for a in "$@"; do printf '%s\n' "$a"; done >"$(dirname "$0")/edited.txt"
SH
chmod +x "$E2E_DIR/editor.sh"
export VEXMOR_EDITOR="$E2E_DIR/editor.sh"

main_visible() { xdotool search --onlyvisible --class --name '^Vexmor$' 2>/dev/null | grep -q .; }
main_hidden() { ! main_visible; }
capture_rect() {
  e2e_wait_for "the overlay" 30 e2e_overlay_shown
  xdotool mousemove 100 100 keydown ctrl mousedown 1 mousemove 300 200 mousemove 499 299 mouseup 1 keyup ctrl
  e2e_wait_for "the main window with the capture" 20 main_visible
  sleep 0.5
}

e2e_start_vexmor
capture_rect

# The clipboard: the capture itself, unscaled, without caption.
xclip -selection clipboard -t image/png -o >"$E2E_DIR/clip.png" 2>/dev/null
e2e_check "clipboard holds a 400 x 200 PNG" [ "$(identify -format '%w %h' "$E2E_DIR/clip.png" 2>/dev/null)" = "400 200" ]
convert "$E2E_DIR/desktop.png" -crop 400x200+100+100 +repage "$E2E_DIR/want.png"
convert "$E2E_DIR/clip.png" -alpha off "$E2E_DIR/clip-rgb.png"
diff=$(compare -metric AE "$E2E_DIR/clip-rgb.png" "$E2E_DIR/want.png" null: 2>&1)
e2e_check "clipboard pixels are the screen's (differing: $diff)" [ "$diff" = "0" ]

# Name and comment, then Enter in the comment saves to the desktop.
xdotool type --delay 20 'e2e "shot"; rm -rf ~'
xdotool key Tab
xdotool type --delay 20 'Caption from the e2e test'
xdotool key Return
e2e_wait_for "the saved file" 20 bash -c "compgen -G '$DESK/*.png' >/dev/null"
sleep 0.3
f="$DESK/e2e shot; rm -rf ~.png"
e2e_check "file named from the title, forbidden characters dropped ($(ls "$DESK"))" [ -f "$f" ]
e2e_check "pngcheck accepts it" pngcheck -q "$f"
e2e_check "scaled to 50 % ($(identify -format '%w %h' "$f" 2>/dev/null))" [ "$(identify -format '%w %h' "$f" 2>/dev/null)" = "200 100" ]
white_caption=$(convert "$f" -alpha off -crop 150x30+4+58 +repage -threshold 92% -format '%[fx:mean]' info: 2>/dev/null)
white_top=$(convert "$f" -alpha off -crop 200x50+0+0 +repage -threshold 92% -format '%[fx:mean]' info: 2>/dev/null)
e2e_check "white caption letters above the bottom edge (share $white_caption)" \
  awk -v v="$white_caption" 'BEGIN { exit !(v > 0.02) }'
e2e_check "nothing drawn above the caption (share $white_top)" awk -v v="$white_top" 'BEGIN { exit !(v == 0) }'
e2e_wait_for "the window to hide after the save" 10 main_hidden
e2e_check "the home folder is still there" [ -d "$HOME" ]

# A second capture, handed to the editor.
kill -TERM "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 10 || e2e_fail "the program did not end"
e2e_start_vexmor
capture_rect
xdotool type --delay 20 'to edit'
xdotool key alt+e
e2e_wait_for "the editor to be started" 20 test -s "$E2E_DIR/edited.txt"
e2e_check "the editor got one argument, the work file ($(cat "$E2E_DIR/edited.txt"))" \
  [ "$(cat "$E2E_DIR/edited.txt")" = "$WORK/to edit.png" ]
e2e_check "the work file is a 200 x 100 PNG" [ "$(identify -format '%w %h' "$WORK/to edit.png" 2>/dev/null)" = "200 100" ]

# WebP (3) and AVIF (4), lossless at quality 100, unscaled.
for format in 3:webp 4:avif; do
  index=${format%%:*} ext=${format#*:}
  kill -TERM "$VEXMOR_PID"
  e2e_wait_exit "$VEXMOR_PID" 10 || e2e_fail "the program did not end"
  printf '[Software\\Vexmor]\nAfterCaptureSel=0\nFormatSel=%s\nJPGQSel=100\nTransPNGBox=1\nScalingSel=100\nCapCursorBox=0\nAutoTitleBox=0\n' \
    "$index" >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
  e2e_start_vexmor
  capture_rect
  xdotool type --delay 20 "lossless $ext"
  xdotool key Tab Return
  f="$DESK/lossless $ext.$ext"
  e2e_wait_for "the saved $ext file" 60 test -s "$f"
  if [ "$ext" = webp ]; then
    dwebp -quiet "$f" -o "$E2E_DIR/decoded-$ext.png"
  else
    avifdec "$f" "$E2E_DIR/decoded-$ext.png" >/dev/null
  fi
  e2e_check "$ext decodes with its own tool" [ -s "$E2E_DIR/decoded-$ext.png" ]
  e2e_check "$ext is 400 x 200 ($(identify -format '%w %h' "$E2E_DIR/decoded-$ext.png" 2>/dev/null))" \
    [ "$(identify -format '%w %h' "$E2E_DIR/decoded-$ext.png" 2>/dev/null)" = "400 200" ]
  e2e_check "$ext is opaque" [ "$(convert "$E2E_DIR/decoded-$ext.png" -alpha extract -format '%[fx:minima]' info: 2>/dev/null)" = "1" ]
  convert "$E2E_DIR/decoded-$ext.png" -alpha off "$E2E_DIR/decoded-$ext-rgb.png"
  diff=$(compare -metric AE "$E2E_DIR/decoded-$ext-rgb.png" "$E2E_DIR/want.png" null: 2>&1)
  e2e_check "$ext pixels are the screen's (differing: $diff)" [ "$diff" = "0" ]
done
e2e_pass
