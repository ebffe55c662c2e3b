#!/usr/bin/env bash
# Text capture: the desktop shows a known English paragraph, Chinese text in a dark theme, a QR code
# and an empty area. `vexmor --capture=text` with a Ctrl rectangle over each puts the text on the
# clipboard within the error rate (the code's content for the QR code), shows it in the result
# window, which Esc closes; the empty area leaves the clipboard as it was.
source "$(dirname "$0")/lib.sh"
e2e_init text_capture
e2e_start_x 1280x800x24
mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nCapCursorBox=0\nAutoTitleBox=0\n' >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
export VEXMOR_CAPTURE_TIMING=1

ENGLISH=$'Copy the text out of an error dialog, a terminal\nor a scanned page, and paste it into a bug report.'
CHINESE=$'把错误对话框里的文字复制出来，\n粘贴到问题报告里。'
URL="https://tolvane.net/vexmor/text?from=qr"
qrencode -s 4 -o "$E2E_DIR/qr.png" "$URL" || e2e_fail "qrencode"
convert -size 1280x800 xc:'#d8dce0' \
  -fill white -draw 'rectangle 80,80 760,200' \
  -font DejaVu-Sans -pointsize 15 -fill black -annotate +100+120 "$ENGLISH" \
  -fill '#1e1e1e' -draw 'rectangle 80,300 760,420' \
  -font /usr/share/fonts/truetype/wqy/wqy-microhei.ttc -pointsize 18 -fill '#d0d0d0' -annotate +100+345 "$CHINESE" \
  "$E2E_DIR/qr.png" -geometry +900+300 -composite \
  -depth 8 "$E2E_DIR/desktop.png"
display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1 || true

e2e_start_vexmor /tray 2>"$E2E_DIR/vexmor.log"
e2e_wait_for "the resident copy" 30 e2e_main_windows

clipboard() { xclip -selection clipboard -o 2>/dev/null; }
recognised() { grep -c '^vexmor: text recognised' "$E2E_DIR/vexmor.log"; }
recognised_after() { [ "$(recognised)" -gt "$1" ]; }
result_window() { xdotool search --onlyvisible --name '^识别文字$' 2>/dev/null | head -1; }
no_result_window() { [ -z "$(result_window)" ]; }
clipboard_is() { [ "$(clipboard)" = "$1" ]; }
cer() { # READ REFERENCE: the character error rate in per cent (white space as the program counts it)
  python3 - "$1" "$2" <<'PY'
import re, sys
def norm(t):
    t = re.sub(r"(?<=[\u3000-\u9fff\uff00-\uffef])\s+(?=[\u3000-\u9fff\uff00-\uffef])", "", t.strip())
    return re.sub(r"\s+", " ", t)
a, b = norm(sys.argv[1]), norm(sys.argv[2])
row = list(range(len(b) + 1))
for i, ca in enumerate(a, 1):
    nxt = [i]
    for j, cb in enumerate(b, 1):
        nxt.append(min(row[j] + 1, nxt[j - 1] + 1, row[j - 1] + (ca != cb)))
    row = nxt
print("%.2f" % (100.0 * row[-1] / max(len(b), 1)))
PY
}
# Selects X0 Y0 X1 Y1 with a Ctrl rectangle on an overlay opened by `vexmor --capture=text`, waits
# for the recognition to end and the result window.
text_capture() {
  local before
  before=$(recognised)
  "$VEXMOR_BIN" --capture=text
  e2e_wait_for "the overlay" 30 e2e_overlay_shown
  xdotool mousemove "$1" "$2" keydown ctrl mousedown 1 mousemove $(($1 + 30)) $(($2 + 20)) mousemove "$3" "$4" mouseup 1 keyup ctrl
  e2e_wait_for "the recognition" 60 recognised_after "$before"
  e2e_wait_for "the result window" 30 result_window
}
close_result() {
  xdotool windowfocus --sync "$(result_window)" key Escape 2>/dev/null
  e2e_wait_for "Esc closes the result window" 30 no_result_window
}

text_capture 85 85 755 195
rate=$(cer "$(clipboard)" "$ENGLISH")
e2e_check "English on the clipboard, error rate $rate % (at most 2)" python3 -c "import sys; sys.exit(not $rate <= 2)"
e2e_check "the line break kept" test "$(clipboard | wc -l)" -ge 1
e2e_check "no picture is kept" test -z "$(compgen -G "$XDG_DESKTOP_DIR/*.png")"
close_result

text_capture 85 305 755 415
rate=$(cer "$(clipboard)" "$CHINESE")
e2e_check "Chinese light on dark on the clipboard, error rate $rate % (at most 5)" \
  python3 -c "import sys; sys.exit(not $rate <= 5)"
close_result

text_capture 880 280 1080 480
e2e_check "the QR code's address on the clipboard ($(clipboard))" test "$(clipboard)" = "$URL"
close_result

# An empty area: the clipboard keeps what another program put there.
printf 'kept from before' >"$E2E_DIR/sentinel"
e2e_spawn xclip -selection clipboard -quiet -i "$E2E_DIR/sentinel" >/dev/null 2>&1
e2e_wait_for "the other program's clipboard" 30 clipboard_is "kept from before"
text_capture 300 550 700 750
grep '^vexmor: text recognised' "$E2E_DIR/vexmor.log" | tail -1 | grep -q ' 0 characters, 0 codes' ||
  e2e_log "FAILED: nothing recognised in the empty area: $(tail -1 "$E2E_DIR/vexmor.log")"
e2e_check "the clipboard unchanged" test "$(clipboard)" = "kept from before"
close_result

e2e_log "$(grep '^vexmor: text recognised' "$E2E_DIR/vexmor.log")"
e2e_stop_vexmor
e2e_pass
