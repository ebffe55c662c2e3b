#!/usr/bin/env bash
# Capture on two Wayland outputs (headless sway), the second 1280 x 1024 at scale 2 to the right of
# a 1920 x 1080 one: an overlay window on each monitor, a click saves every device pixel of both
# (each part equal to the compositor's picture of that output), a lasso drawn from the first
# output into the second is transparent outside its outline, and a redaction box drawn on the second
# lands where it was drawn in device pixels.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_two_outputs
wl_prepare

wl_background bg1.png 1920x1080
wl_background bg2.png 1280x1024 -rotate 90
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"

wl_start_compositor 2 "output HEADLESS-1 resolution 1920x1080 position 0 0 bg $WL_FILES/bg1.png stretch" \
  "output HEADLESS-2 resolution 1280x1024 position 1920 0 scale 2 bg $WL_FILES/bg2.png stretch"
wl_install_program
wl_input_start
settings 1
start_resident
wl_input move 300 300
wl_grim "$WL_FILES/left.png" -o HEADLESS-1
wl_grim "$WL_FILES/right.png" -o HEADLESS-2
capture 2
wl_input press left
wl_input release left
f=$(saved_of_size "3200 1080" "the picture of both outputs in device pixels")
convert "$f" -alpha off -crop 1920x1080+0+0 +repage "$E2E_DIR/got-left.png"
convert "$f" -alpha off -crop 1280x1024+1920+0 +repage "$E2E_DIR/got-right.png"
same_pixels "$E2E_DIR/got-left.png" "$WL_FILES/left.png" "left output equals its picture"
same_pixels "$E2E_DIR/got-right.png" "$WL_FILES/right.png" "scaled output equals its picture in device pixels"
e2e_wait_for "both overlay windows to go" 10 overlay_gone
rm -f "$DESK"/*

# 6. A lasso from the left output into the scaled one: transparent outside the outline.
capture 2
wl_input move 1800 300
wl_input press left
for i in $(seq 0 40); do
  read -r x y < <(awk -v i="$i" 'BEGIN{t=6.2832*i/40; printf "%d %d\n", 1900-100*cos(t), 300+100*sin(t)}')
  wl_input move "$x" "$y"
  wl_input sleep 20
done
wl_input sleep 300
wl_input release left
f=$(saved)
read -r w h < <(identify -format '%w %h' "$f")
e2e_check "lasso picture spans the boundary ($w x $h)" [ "$w" -gt 200 -a "$h" -gt 200 ]
corner=$(convert "$f" -format '%[fx:int(255*p{2,2}.a)]' info:)
centre=$(convert "$f" -format "%[fx:int(255*p{$((w / 2)),$((h / 2))}.a)]" info:)
e2e_check "outside the outline is transparent (alpha $corner)" [ "$corner" = 0 ]
e2e_check "inside the outline is opaque (alpha $centre)" [ "$centre" = 255 ]
e2e_wait_for "both overlay windows to go" 10 overlay_gone
rm -f "$DESK"/*

# 7. A redaction drawn on the scaled output, picked by keys there: logical 2200..2500 x 300..500 is
# device 2480..3080 x 600..1000 of the picture; the rest of both outputs is left as it was. The
# headless output draws the pointer into its picture: it is frozen where it was for left.png.
wl_input move 300 300
capture 2
wl_input move 2200 300
wl_input key x
wl_input key 7
wl_input press right
for i in $(seq 1 10); do wl_input move $((2200 + 30 * i)) $((300 + 20 * i)); done
wl_input release right
wl_input key Return
f=$(saved_of_size "3200 1080" "the redacted picture of both outputs")
colours=$(convert "$f" -crop 560x360+2500+620 +repage -unique-colors -depth 8 txt:- | tail -n +2 | awk '{print $2}')
e2e_check "inside the redaction only opaque black (got $(echo $colours))" [ "$colours" = "(0,0,0,255)" ]
for p in "2440 800" "3120 800" "2780 560" "2780 1020" "2000 100"; do
  read -r x y <<<"$p"
  got=$(e2e_pixel "$f" "$x" "$y") want=$(e2e_pixel "$WL_FILES/right.png" $((x - 1920)) "$y")
  e2e_check "scaled output as it was at $x,$y (got $got, want $want)" [ "$got" = "$want" ]
done
convert "$f" -alpha off -crop 1920x1080+0+0 +repage "$E2E_DIR/got-left.png"
same_pixels "$E2E_DIR/got-left.png" "$WL_FILES/left.png" "left output unchanged by the redaction"
e2e_check "the program is still running" e2e_alive "$VEXMOR_PID"
e2e_pass
