#!/usr/bin/env bash
# The layered window family on a real X server with a compositor: the window's translucent pixels
# are blended over the window below, a click on its shadow margin reaches the window below, a
# click inside reaches the layered window, and a fade-out ends with the window closed.
# Leaves screenshots in $VEXMOR_E2E_OUT (default: e2e-out beside the program): layered_window.png
# (shown) and layered_window_fading.png (during the fade-out).
source "$(dirname "$0")/lib.sh"
e2e_init layered
: "${VEXMOR_LAYERED_DEMO:=$(dirname "$VEXMOR_BIN")/tests/vexmor_layered_demo}"
[ -x "$VEXMOR_LAYERED_DEMO" ] || e2e_fail "no layered demo program at $VEXMOR_LAYERED_DEMO"
out_dir=${VEXMOR_E2E_OUT:-$(dirname "$VEXMOR_BIN")/e2e-out}
mkdir -p "$out_dir"

e2e_start_x 800x600x24
e2e_start_compositor

log="$E2E_DIR/demo.log"
: >"$log"
e2e_spawn "$VEXMOR_LAYERED_DEMO" "$log"
demo=$E2E_LAST_PID
e2e_wait_for "layered window shown" 20 grep -q '^shown' "$log"
sleep 0.5   # let the compositor draw the finished frame

shot="$E2E_DIR/shot.png"
import -window root "$shot" || e2e_fail "screenshot failed"
cp "$shot" "$out_dir/layered_window.png"

# One pixel of the screenshot as "R G B".
pixel() { convert "$shot" -format "%[fx:int(255*p{$1,$2}.r+0.5)] %[fx:int(255*p{$1,$2}.g+0.5)] %[fx:int(255*p{$1,$2}.b+0.5)]" info:; }
# Within 3 of the expected value per channel.
near() {
  local got=($1) want=($2) i
  for i in 0 1 2; do
    local d=$((got[i] - want[i]))
    [ ${d#-} -le 3 ] || return 1
  done
}
check_pixel() {
  local desc=$1 x=$2 y=$3 want=$4 got
  got=$(pixel "$x" "$y")
  e2e_check "$desc at $x,$y: want $want, got $got" near "$got" "$want"
}

# Interior: premultiplied red at alpha 128 over blue: (128, 0, 255 * 127/255).
check_pixel "interior blended over the window below" 300 210 "128 0 127"
# Shadow margin: black at alpha 96 over blue.
check_pixel "shadow margin blended over the window below" 190 210 "0 0 159"
check_pixel "window below untouched" 150 120 "0 0 255"

# Clicks: the shadow margin lets them through, the interior takes them.
xdotool mousemove 190 210 click 1
e2e_wait_for "click on the margin reaches the window below" 10 grep -q '^below-press 190 210' "$log"
xdotool mousemove 300 210 click 1
e2e_wait_for "click inside reaches the layered window" 10 grep -q '^layered-press 300 210' "$log"
e2e_check "the margin click did not reach the layered window" bash -c "! grep -q '^layered-press 190' '$log'"

# Fade-out: the window becomes click-through at once and is closed at the end.
touch "$log.fade"
e2e_wait_for "fade-out started" 10 grep -q '^fading' "$log"
# A picture of the fade under way (blurred, zoomed out, fainter) for the demo; not judged.
sleep 0.1
import -window root "$out_dir/layered_window_fading.png" || true
e2e_wait_for "window closed after the fade" 10 grep -q '^closed' "$log"
e2e_wait_exit "$demo" 10 || e2e_fail "demo did not end after the window closed"
e2e_check "demo exit status 0 (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 0
e2e_pass
