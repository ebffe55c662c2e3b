#!/usr/bin/env bash
# Capture on three Wayland outputs side by side at the fractional and whole scales 1.25, 1.5 and 2
# (headless sway): a Ctrl rectangle drawn between two layout points saves exactly the device pixels
# under those points, the pixel under each point being the one its logical position times the
# output's scale falls into (floor), on each output and across two outputs of different scales; each
# picture equals the part of the compositor's own output pictures it covers; while the rectangle is
# held, the overlay shows the frozen desktop inside it exactly as the output showed it.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_scales
wl_prepare

wl_background bg1.png 1600x1000
wl_background bg2.png 1500x900 -rotate 90
wl_background bg3.png 1600x1200 -flop
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"

wl_start_compositor 3 "output HEADLESS-1 resolution 1600x1000 position 0 0 scale 1.25 bg $WL_FILES/bg1.png stretch" \
  "output HEADLESS-2 resolution 1500x900 position 1280 0 scale 1.5 bg $WL_FILES/bg2.png stretch" \
  "output HEADLESS-3 resolution 1600x1200 position 2280 0 scale 2 bg $WL_FILES/bg3.png stretch"
e2e_check "the layout sway chose (box $WL_BOX)" [ "$WL_BOX" = "0 0 3080 800" ]
wl_install_program
wl_input_start
settings 1
start_resident

# The outputs' own pictures side by side in device pixels, as the frozen desktop lays them out: one
# row, each output's device pixels after those of the outputs to its left. The pointer, which the
# headless outputs draw into every copy, is parked at the same spot for these and every capture.
park() { wl_input move 2900 550; }
park
x=0
composite=(convert -size 4700x1200 xc:black)
while read -r name lx _ lw _ scale; do
  wl_grim "$WL_FILES/$name.png" -o "$name"
  composite+=("$WL_FILES/$name.png" -geometry "+$x+0" -composite)
  e2e_log "$name: logical x $lx width $lw at $scale, device x $x"
  x=$((x + $(identify -format %w "$WL_FILES/$name.png")))
done < <(printf '%s\n' "$WL_LAYOUT" | sort -k2,2n)
"${composite[@]}" "$WL_FILES/desktop.png" || e2e_fail "cannot lay out the outputs' pictures"
e2e_check "the outputs' device pixels add up to 4700 across ($x)" [ "$x" = 4700 ]

# The device pixel under layout point X Y: "DX DY" in the frozen desktop, then the output's name and
# where its device pixels begin.
device_of() { # X Y
  printf '%s\n' "$WL_LAYOUT" | sort -k2,2n | awk -v px="$1" -v py="$2" '
    px >= $2 && px < $2 + $4 {printf "%d %d %s %d\n", dx + int((px - $2) * $6), int((py - $3) * $6), $1, dx; exit}
    {dx += $4 * $6}'
}
# The overlay shows the frozen desktop untouched inside the held rectangle (none of its pixels moved
# or blurred by the compositor's scaling) and tinted just outside its frame.
shown_inside() { # OUTPUT X Y W H (device pixels of the output; inside the frame)
  wl_grim "$WL_FILES/shown.png" -o "$1"
  convert "$WL_FILES/shown.png" -crop "$4x$5+$2+$3" +repage "$WL_FILES/shown-in.png"
  convert "$WL_FILES/$1.png" -crop "$4x$5+$2+$3" +repage "$WL_FILES/plain-in.png"
  [ "$(compare -metric AE "$WL_FILES/shown-in.png" "$WL_FILES/plain-in.png" null: 2>&1)" = 0 ] &&
    [ "$(convert "$WL_FILES/shown.png" -format "%[hex:p{$(($2 - 12)),$3}]" info:)" != \
      "$(convert "$WL_FILES/$1.png" -format "%[hex:p{$(($2 - 12)),$3}]" info:)" ]
}

# A Ctrl rectangle from layout point X0 Y0 to X1 Y1 (both inside): saved exactly as the device
# pixels between the points' own.
rectangle_case() { # LABEL X0 Y0 X1 Y1
  local ax ay aout aoff bx by bout w h
  read -r ax ay aout aoff < <(device_of "$2" "$3")
  read -r bx by bout _ < <(device_of "$4" "$5")
  w=$((bx - ax + 1)) h=$((by - ay + 1))
  convert "$WL_FILES/desktop.png" -crop "${w}x${h}+$ax+$ay" +repage "$WL_FILES/want-$1.png"
  park
  capture 3
  ctrl_rectangle_drag "$2" "$3" $(($4 - $2 + 1)) $(($5 - $3 + 1))
  if [ "$aout" = "$bout" ] && [ $((ax - aoff)) -ge 12 ] && [ "$w" -gt 40 ] && [ "$h" -gt 40 ]; then
    e2e_check "$1: the overlay shows the desktop exactly inside the held rectangle" e2e_poll 20 \
      shown_inside "$aout" $((ax - aoff + 10)) $((ay + 10)) $((w - 20)) $((h - 20))
  fi
  ctrl_rectangle_release
  saved_equals "$w $h" "$WL_FILES/want-$1.png" "$1 ($2,$3 to $4,$5 = device $ax,$ay to $bx,$by)" \
    "the compositor's pixels there"
  e2e_wait_for "the overlay to go after $1" 10 overlay_gone
  rm -f "$DESK"/*
}

rectangle_case "on the 1.25 output" 101 203 457 390
rectangle_case "at the 1.25 output's corner" 0 0 29 24
rectangle_case "on the 1.5 output" 1313 57 1891 419
rectangle_case "at the 1.5 output's far corner" 2250 575 2279 599
rectangle_case "on the 2 output" 2291 17 2777 311
rectangle_case "from the 1.25 output into the 1.5 one" 1101 301 1481 501
rectangle_case "from the 1.5 output into the 2 one" 2001 33 2501 587
e2e_check "the program is still running" e2e_alive "$VEXMOR_PID"
e2e_pass
