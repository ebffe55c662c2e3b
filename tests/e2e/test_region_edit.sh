#!/usr/bin/env bash
# Taking the last region again and editing a picture that is already a file: `--capture=last-region`
# with nothing remembered opens the overlay; after a rectangle it takes the same place of a changed
# desktop without the overlay, twice alike and after a restart; `--edit` opens a PNG in the overlay,
# ink on it is saved under a new name beside an untouched original; files that are no pictures end
# with status 1 and open nothing.
source "$(dirname "$0")/lib.sh"
e2e_init region_edit
e2e_start_x 1280x800x24
INI="$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
mkdir -p "$(dirname "$INI")"
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\nTransPNGBox=0\nCapCursorBox=0\nAutoTitleBox=0\n' >"$INI"
pngs() { compgen -G "$XDG_DESKTOP_DIR/*.png" | sort; }
count_is() { [ "$(pngs | wc -l)" = "$1" ]; }
# The newest picture once there are $1 and it reads whole.
picture_number() {
  e2e_wait_for "picture $1 on the desktop" 30 count_is "$1"
  local f
  f=$(ls -t "$XDG_DESKTOP_DIR"/*.png | head -1)
  e2e_wait_for "picture $1 complete" 30 identify "$f"
  echo "$f"
}
run() {
  out=$("$VEXMOR_BIN" "$@" 2>"$E2E_DIR/err")
  status=$?
  err=$(cat "$E2E_DIR/err")
}

e2e_show_position_desktop 1280 800
e2e_start_vexmor /tray
e2e_wait_for "the resident copy" 30 e2e_main_windows

# --- the last region ------------------------------------------------------------------------------
run --capture=last-region
e2e_wait_for "with no region remembered the overlay opens" 30 e2e_overlay_shown
xdotool key Escape
e2e_wait_for "the overlay cancelled" 30 e2e_overlay_gone
run --capture
e2e_wait_for "the overlay" 30 e2e_overlay_shown
xdotool mousemove 100 100 keydown ctrl mousedown 1 mousemove 300 200 mousemove 499 299 mouseup 1 keyup ctrl
first=$(picture_number 1)
e2e_check "the rectangle is remembered" test -s "$XDG_CONFIG_HOME/Vexmor/last-region"

# Another desktop: the same region of it, without the overlay, twice alike.
convert -size 1280x800 gradient:yellow-navy -depth 8 "$E2E_DIR/second.png"
display -window root "$E2E_DIR/second.png" >/dev/null 2>&1 || true
convert "$E2E_DIR/second.png" -crop 400x200+100+100 +repage "$E2E_DIR/expected.png"
run --capture=last-region
again=$(picture_number 2)
e2e_check "no overlay was opened for the last region" e2e_overlay_gone
e2e_check "the region's size ($(identify -format '%wx%h' "$again"))" test "$(identify -format '%wx%h' "$again")" = 400x200
diff=$(compare -metric AE "$again" "$E2E_DIR/expected.png" null: 2>&1)
e2e_check "the changed desktop's pixels of the region (differing: $diff)" test "$diff" = 0
run --capture=last-region
third=$(picture_number 3)
e2e_check "taken twice, the same pixels" test "$(compare -metric AE "$again" "$third" null: 2>&1)" = 0

e2e_stop_vexmor
e2e_start_vexmor /tray
e2e_wait_for "the restarted copy" 30 e2e_main_windows
run --capture=last-region
fourth=$(picture_number 4)
e2e_check "after a restart the same region" test "$(compare -metric AE "$again" "$fourth" null: 2>&1)" = 0
# With --pin the region becomes a pin over its place instead of a file.
run --capture=last-region --pin
pin_at() { xdotool search --onlyvisible --name '钉图' 2>/dev/null | head -1 | xargs -r xwininfo -id | grep -q "$1"; }
e2e_wait_for "a pin of the region at its place" 20 pin_at "geometry 400x200+100+100"
e2e_check "and no picture saved for it" count_is 4

# --- editing a picture ----------------------------------------------------------------------------
rm -f "$XDG_DESKTOP_DIR"/*.png
convert -size 300x200 xc:'rgb(40,160,90)' "$XDG_DESKTOP_DIR/photo.png"
before=$(md5sum <"$XDG_DESKTOP_DIR/photo.png")
run --edit "$XDG_DESKTOP_DIR/photo.png"
e2e_check "--edit handed over exits 0 (was $status: $err)" test "$status" = 0
e2e_wait_for "the picture in the overlay" 30 e2e_overlay_shown
# Centred on the monitor: its top-left at (490, 300). Ink across it, then confirm the whole picture.
xdotool mousemove 540 400
e2e_wait_for "the pointer on the picture" 10 bash -c "xdotool getmouselocation | grep -q 'x:540 y:400 '"
xdotool mousedown 3
for i in $(seq 1 20); do
  xdotool mousemove $((540 + 10 * i)) 400
  sleep 0.02
done
xdotool mouseup 3
xdotool key Return
edited=$(picture_number 2)
e2e_check "a new name beside the original ($edited)" test "$(basename "$edited")" = photo_2.png
e2e_check "the original is byte for byte as it was" test "$(md5sum <"$XDG_DESKTOP_DIR/photo.png")" = "$before"
e2e_check "the whole picture is kept ($(identify -format '%wx%h' "$edited"))" \
  test "$(identify -format '%wx%h' "$edited")" = 300x200
e2e_check "the picture's own pixels away from the ink" test "$(e2e_pixel "$edited" 10 10)" = "40,160,90,255"
ink=$(e2e_pixel "$edited" 150 100)
e2e_check "the ink on it ($ink)" bash -c '[[ "$0" != "40,160,90,255" ]]' "$ink"

# --- what cannot be opened -------------------------------------------------------------------------
echo "not a picture" >"$E2E_DIR/notes.png"
for bad in "$E2E_DIR/notes.png" "$E2E_DIR/missing.png"; do
  run --edit "$bad"
  e2e_check "--edit $(basename "$bad") ends with status 1 (was $status)" test "$status" = 1
  e2e_check "one line naming it ($err)" bash -c '[ "$(wc -l <<<"$0")" = 1 ] && grep -q "$1" <<<"$0"' "$err" "$(basename "$bad")"
done
e2e_check "no overlay for them" e2e_overlay_gone
e2e_check "the resident copy is still there" e2e_alive "$VEXMOR_PID"
e2e_pass
