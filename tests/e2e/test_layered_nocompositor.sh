#!/usr/bin/env bash
# The layered window on a display without a compositor: nothing blends it, so it shows only its
# pixels that are at least half opaque, at full strength; where its faint shadow margin lies the
# window below shows as it is, and clicks there reach it. Its fade-out still ends with the window
# closed, and the window below shows where it was.
source "$(dirname "$0")/lib.sh"
e2e_init layered-nocomp
: "${VEXMOR_LAYERED_DEMO:=$(dirname "$VEXMOR_BIN")/tests/vexmor_layered_demo}"
[ -x "$VEXMOR_LAYERED_DEMO" ] || e2e_fail "no layered demo program at $VEXMOR_LAYERED_DEMO"

e2e_start_x 800x600x24

log="$E2E_DIR/demo.log"
: >"$log"
e2e_spawn "$VEXMOR_LAYERED_DEMO" "$log"
demo=$E2E_LAST_PID
e2e_wait_for "layered window shown" 20 grep -q '^shown' "$log"
sleep 0.5

shot="$E2E_DIR/shot.png"
import -window root "$shot" || e2e_fail "screenshot failed"
pixel() { convert "$shot" -format "%[fx:int(255*p{$1,$2}.r+0.5)] %[fx:int(255*p{$1,$2}.g+0.5)] %[fx:int(255*p{$1,$2}.b+0.5)]" info:; }
got=$(pixel 300 210)
read -r r g b <<<"$got"
e2e_check "interior shows its own colour, unblended (got $got)" test "$r" -ge 120 -a "$g" -le 8 -a "$b" -le 8
got=$(pixel 150 120)
e2e_check "window below shows (got $got)" test "$got" = "0 0 255"
# The shadow margin (alpha 96) is cut away: the window below, not black or a darkened blue.
for at in "190 210" "181 131" "418 288" "300 140"; do
  got=$(pixel $at)
  e2e_check "window below shows through the shadow margin at $at (got $got)" test "$got" = "0 0 255"
done

xdotool mousemove 190 210 click 1
e2e_wait_for "click on the margin reaches the window below" 10 grep -q '^below-press 190 210' "$log"

touch "$log.fade"
e2e_wait_for "window closed after the fade" 10 grep -q '^closed' "$log"
import -window root "$shot" || e2e_fail "screenshot failed"
got=$(pixel 300 210)
e2e_check "window below shows where the closed window was (got $got)" test "$got" = "0 0 255"
e2e_wait_exit "$demo" 10 || e2e_fail "demo did not end after the window closed"
e2e_check "demo exit status 0 (was $E2E_EXIT_STATUS)" test "$E2E_EXIT_STATUS" = 0
e2e_pass
