#!/usr/bin/env bash
# The thumbnail card on a display without a compositor, as a user meets it: after a capture the card
# flies to its resting place and rocks there showing only itself — around it, along its flight path
# and in the corners of its window the desktop shows exactly as it was, with no black box and no
# trail. A compositor started while the card is shown blends the whole window again (no cut); when
# it stops the card is cut again, still without box or trail.
set -u
source "$(dirname "$0")/lib.sh"
e2e_init thumb-nocomp
e2e_start_x 1920x1080x24

# A desktop whose every pixel differs from its neighbours: the root window's background, and its
# left part again in a window (the capture is made there, the card rests over the root). What the
# card no longer covers the X server paints from the root's background or has the window repaint.
convert -size 640x540 xc:gray -seed 11 +noise Random -depth 8 "$E2E_DIR/tile.png"
convert -size 1920x1080 tile:"$E2E_DIR/tile.png" -depth 8 "$E2E_DIR/desktop.png"
convert "$E2E_DIR/desktop.png" -crop 1200x1080+0+0 +repage "$E2E_DIR/left.png"
convert "$E2E_DIR/desktop.png" -crop 720x1080+1200+0 +repage "$E2E_DIR/right.png"
display -window root "$E2E_DIR/desktop.png" >/dev/null 2>&1
e2e_wait_for "the root's background" 10 bash -c "xprop -root _XSETROOT_ID | grep -q pixmap"
e2e_spawn display -immutable -borderwidth 0 -geometry +0+0 "$E2E_DIR/left.png"
e2e_wait_for "the desktop picture" 20 bash -c "xdotool search --onlyvisible --name 'ImageMagick' | grep -q ."

mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=0\nFormatSel=0\nTransPNGBox=1\nCapCursorBox=0\nAutoTitleBox=0\n' \
  >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"

card_id() { xdotool search --onlyvisible --name '^Thumbnail$' 2>/dev/null | head -1; }
card_shown() { [ -n "$(card_id)" ]; }
main_id() { xdotool search --all --onlyvisible --class --name '^Vexmor$' 2>/dev/null | head -1; }
main_shown() { [ -n "$(main_id)" ]; }
card_cut() { xwininfo -shape -id "$(card_id)" | grep -q 'Window shape extents'; }
card_whole() { xwininfo -shape -id "$(card_id)" | grep -q 'No window shape defined'; }
card_moved_from() { [ "$(e2e_window_geometry "$(card_id)" | tr ' ' ,)" != "$1" ]; }

# Screen pictures, each taken between two readings of the card's window box that agree (the card
# moves about every tick, so one quick process does it): snap.py CARD COUNT PREFIX MARGIN writes
# PREFIX1.bgrx ... as fast as it can, each with the card at another place, of the whole screen
# (MARGIN -1) or of the card's box grown by MARGIN, and prints "card-box picture-area" (x,y,w,h
# each) for each.
cat >"$E2E_DIR/snap.py" <<'PY'
import ctypes, ctypes.util, sys
x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
P = ctypes.POINTER
x.XOpenDisplay.restype = ctypes.c_void_p
x.XDefaultRootWindow.restype = ctypes.c_ulong
x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x.XGetImage.restype = ctypes.c_void_p
x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                        ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x.XDestroyImage.argtypes = [ctypes.c_void_p]
x.XGrabServer.argtypes = x.XUngrabServer.argtypes = [ctypes.c_void_p]
x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
x.XGetGeometry.argtypes = [ctypes.c_void_p, ctypes.c_ulong, P(ctypes.c_ulong), P(ctypes.c_int), P(ctypes.c_int),
                           P(ctypes.c_uint), P(ctypes.c_uint), P(ctypes.c_uint), P(ctypes.c_uint)]
x.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_int,
                                    ctypes.c_int, P(ctypes.c_int), P(ctypes.c_int), P(ctypes.c_ulong)]
class XImage(ctypes.Structure):
    _fields_ = [(n, ctypes.c_int) for n in ("width", "height", "xoffset", "format")] + [("data", ctypes.c_void_p)] + \
               [(n, ctypes.c_int) for n in ("byte_order", "unit", "bit_order", "pad", "depth", "bytes_per_line", "bpp")]
d = x.XOpenDisplay(None)
root = x.XDefaultRootWindow(d)
card, count, prefix, margin = int(sys.argv[1], 0), int(sys.argv[2]), sys.argv[3], int(sys.argv[4])
def box(w):
    r, b, dp = ctypes.c_ulong(), ctypes.c_uint(), ctypes.c_uint()
    gx, gy, gw, gh = ctypes.c_int(), ctypes.c_int(), ctypes.c_uint(), ctypes.c_uint()
    x.XGetGeometry(d, w, r, gx, gy, gw, gh, b, dp)
    ax, ay, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
    x.XTranslateCoordinates(d, w, root, 0, 0, ax, ay, child)
    return ax.value, ay.value, gw.value, gh.value
sw, sh = box(root)[2:]
shots = []
for _ in range(count * 200):
    # Holding the server keeps the card where it is while its place is read and the screen taken.
    x.XGrabServer(d)
    before = box(card)
    if margin < 0:
        area = (0, 0, sw, sh)
    else:
        l, t = max(before[0] - margin, 0), max(before[1] - margin, 0)
        area = (l, t, min(before[0] + before[2] + margin, sw) - l, min(before[1] + before[3] + margin, sh) - t)
    taken = x.XGetImage(d, root, area[0], area[1], area[2], area[3], 0xFFFFFFFF, 2)
    image = ctypes.cast(taken, P(XImage)).contents
    moved = box(card) != before
    x.XUngrabServer(d)
    x.XSync(d, 0)
    fresh = not shots or shots[-1][0] != before
    if fresh and not moved and image.bpp == 32 and image.bytes_per_line == 4 * area[2]:
        shots.append((before, area, ctypes.string_at(image.data, area[2] * area[3] * 4)))
    x.XDestroyImage(taken)
    if len(shots) == count:
        break
for i, (c, a, pixels) in enumerate(shots, 1):
    open("%s%d.bgrx" % (prefix, i), "wb").write(pixels)
    print("%d,%d,%d,%d %d,%d,%d,%d" % (c + a))
PY
# Takes COUNT pictures NAME1.png ... (margin as snap.py's); "card-box picture-area" of each in SHOTS.
snap() {  # name count margin
  local i line area
  SHOTS=()
  while read -r line; do SHOTS+=("$line"); done < <(python3 "$E2E_DIR/snap.py" "$(card_id)" "$2" "$E2E_DIR/$1" "$3")
  [ ${#SHOTS[@]} = "$2" ] || e2e_fail "only ${#SHOTS[@]} of $2 screen pictures with the card's place"
  for ((i = 1; i <= $2; i++)); do
    IFS=, read -r _ _ w h <<<"${SHOTS[i - 1]#* }"
    convert -size "${w}x$h" -depth 8 "bgra:$E2E_DIR/$1$i.bgrx" -alpha off "$E2E_DIR/$1$i.png"
  done
}

# Pixels that differ between two pictures.
differing() { compare -metric AE -fuzz 2% "$1" "$2" null: 2>&1 | cut -d' ' -f1; }
# The same part of two pictures as $out.a.png and $out.b.png, the inner part from `inset` on blacked
# out in both when given.
crop_both() {  # out picture-a picture-b x y w h [inset]
  local out=$1 a=$2 b=$3 x=$4 y=$5 w=$6 h=$7 i=${8:-} blank=()
  [ -n "$i" ] && blank=(-fill black -draw "rectangle $i,$i $((w - 1 - i)),$((h - 1 - i))")
  convert "$a" -crop "${w}x$h+$x+$y" +repage "${blank[@]}" "$out.a.png"
  convert "$b" -crop "${w}x$h+$x+$y" +repage "${blank[@]}" "$out.b.png"
}

# The checks of one picture of the screen: the desktop shows under the outer ring of the card's
# window and all around the card except on the main window; the card shows in its middle.
judge() {  # label picture-name card-box picture-area
  local label=$1 got="$E2E_DIR/$2.png" want="$E2E_DIR/$2.want.png" out="$E2E_DIR/$2" x y w h ax ay aw ah
  local mx my mw mh d
  IFS=, read -r ax ay aw ah <<<"$4"
  convert "$E2E_DIR/desktop.png" -crop "${aw}x$ah+$ax+$ay" +repage "$want"
  IFS=, read -r x y w h <<<"$3"
  x=$((x - ax)) y=$((y - ay))
  # The card's outer two pixels are the faint end of its shadow: nothing of the window shows there.
  crop_both "$out.edge" "$got" "$want" "$x" "$y" "$w" "$h" 2
  d=$(differing "$out.edge.a.png" "$out.edge.b.png")
  e2e_check "$label: the desktop shows at the edge of the card's window ${w}x$h+$((x + ax))+$((y + ay)) ($d pixels differ)" [ "$d" = 0 ]
  crop_both "$out.mid" "$got" "$want" $((x + w / 2 - 20)) $((y + h / 2 - 20)) 40 40
  d=$(differing "$out.mid.a.png" "$out.mid.b.png")
  e2e_check "$label: the card shows in its middle ($d of 1600 pixels differ from the desktop)" [ "$d" -gt 1200 ]
  # Everywhere else but on the main window the picture is the desktop: no trail, no box.
  read -r mx my mw mh < <(e2e_window_geometry "$(main_id)")
  local cover=(-fill black -draw "rectangle $((x - 2)),$((y - 2)) $((x + w + 1)),$((y + h + 1))"
    -draw "rectangle $((mx - ax)),$((my - ay)) $((mx - ax + mw - 1)),$((my - ay + mh - 1))")
  convert "$got" "${cover[@]}" "$out.rest.a.png"
  convert "$want" "${cover[@]}" "$out.rest.b.png"
  d=$(differing "$out.rest.a.png" "$out.rest.b.png")
  e2e_check "$label: around the card the desktop shows (${aw}x$ah+$ax+$ay, $d pixels differ)" [ "$d" = 0 ]
}
# The checks of the whole screen now.
check_card() {  # label name
  snap "$2" 1 -1
  judge "$1" "${2}1" ${SHOTS[0]}
}

# The card has arrived: its centre near the resting place at the right edge (48 pixels in from the
# edge, half the 318-pixel card further; the rocking moves it by a few pixels).
card_arrived() {
  local x y w h
  read -r x y w h < <(e2e_window_geometry "$(card_id)")
  [ $((x + w / 2)) -gt $((1920 - 48 - 159 - 12)) ]
}

# 1. A rectangle capture at the upper left: the card flies from there across the screen to the right
# edge (the main window shows on the left), from over the window to over the root. Pictures taken
# during the flight and at rest show the desktop everywhere but on the card.
e2e_start_vexmor
e2e_wait_for "the overlay" 30 e2e_overlay_shown
xdotool mousemove 100 150 keydown ctrl mousedown 1 mousemove 200 250 mousemove 399 349 mouseup 1 keyup ctrl
e2e_wait_for "the card" 20 card_shown
snap flight 6 80
flight=("${SHOTS[@]}")
e2e_wait_for "the main window" 20 main_shown
e2e_wait_for "the card cut to its picture" 10 card_cut
for i in 1 2 3 4 5 6; do judge "flying ($i)" "flight$i" ${flight[i - 1]}; done
e2e_wait_for "the card at its resting place" 20 card_arrived
check_card "at rest" rest
e2e_wait_for "the card to rock on" 10 card_moved_from "${SHOTS[0]%% *}"
check_card "rocking" rocking
# The window is painted afresh as it rocks: its middle is another picture than at rest.
d=$(differing "$E2E_DIR/rest1.mid.a.png" "$E2E_DIR/rocking1.mid.a.png")
e2e_check "the card's picture follows the rocking ($d of 1600 pixels changed)" [ "$d" -gt 400 ]

# 2. A compositor starts while the card is shown: the whole window is blended again. It paints the
# root itself (not from its background), so the right part of the desktop becomes a window too,
# put below the card.
e2e_spawn display -immutable -borderwidth 0 -geometry +1200+0 "$E2E_DIR/right.png"
e2e_wait_for "the desktop's right part" 20 bash -c "xdotool search --onlyvisible --name 'ImageMagick' | wc -l | grep -q 2"
xdotool windowraise "$(card_id)"
e2e_start_compositor
compositor=$E2E_LAST_PID
e2e_wait_for "the card whole under the compositor" 10 card_whole
sleep 0.5  # the compositor's next frames (nothing tells when it has drawn)
check_card "under a compositor" composited

# 3. It stops: the card is cut again.
kill -TERM "$compositor"
e2e_wait_exit "$compositor" 10 || e2e_fail "the compositor did not end"
e2e_wait_for "the card cut again" 10 card_cut
sleep 0.5  # the windows the compositor had covered repaint
check_card "after the compositor" after
e2e_check "the program still runs" e2e_alive "$VEXMOR_PID"
e2e_pass
