#!/usr/bin/env bash
# Capture on a Wayland compositor (headless sway), through its screen-copy interface, driven by the
# compositor's virtual keyboard and pointer:
# - one output: `vexmor --capture` opens the overlay, a click saves the whole desktop exactly as the
#   compositor's own picture shows it, a Ctrl rectangle saves exactly its pixels, Esc cancels, and
#   with the clipboard as the after-capture action the picture is there for `wl-paste -t image/png`;
#   an output turned a quarter is captured as the compositor shows it.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_capture
wl_prepare

# A picture whose every pixel differs from its neighbours, so that an offset by one pixel shows.
convert -size 480x270 xc:gray -seed 7 +noise Random -depth 8 "$E2E_DIR/tile.png"
convert -size 1920x1080 tile:"$E2E_DIR/tile.png" -depth 8 "$WL_FILES/bg1.png"
chmod a+r "$WL_FILES"/bg*.png
source "$(dirname "$0")/wayland_capture_lib.sh"

wl_start_compositor 1 "output HEADLESS-1 resolution 1920x1080 position 0 0 bg $WL_FILES/bg1.png stretch"
wl_install_program
wl_input_start
settings 1
start_resident

# 1. A click saves the whole desktop, pixel for pixel what the compositor shows (the pointer, which
# the headless output draws into every copy, stays where it was when the desktop froze).
wl_input move 500 400
wl_grim "$WL_FILES/before.png"
capture
wl_input press left
wl_input release left
saved_equals "1920 1080" "$WL_FILES/before.png" "whole desktop"
e2e_wait_for "the overlay to go after the click" 10 overlay_gone
rm -f "$DESK"/*

# 2. Esc cancels and writes nothing.
capture
wl_input key Escape
e2e_wait_for "the overlay to go on Esc" 10 overlay_gone
sleep 0.5
e2e_check "Esc leaves no file" [ -z "$(ls -A "$DESK")" ]

# 3. A Ctrl rectangle is exact in pixels: the compositor's picture of the same region.
wl_input move 700 300
wl_grim "$WL_FILES/region.png" -g "700,300 300x150"
capture
wl_input keydown Control_L
wl_input press left
wl_input move 800 380
wl_input move 999 449
wl_input release left
wl_input keyup Control_L
saved_equals "300 150" "$WL_FILES/region.png" "rectangle"
rm -f "$DESK"/*

# 4. The clipboard holds the picture for other Wayland programs.
e2e_stop_vexmor
settings 3
start_resident
wl_input move 600 600
capture
wl_input press left
wl_input release left
e2e_wait_for "the overlay to go" 10 overlay_gone
e2e_wait_for "a PNG on the clipboard" 20 bash -c \
  "$(printf '%q ' "${WL_AS[@]}") env -i $(printf '%q ' "${WL_ENV[@]}") wl-paste -t image/png >'$WL_FILES/clip.png' && identify '$WL_FILES/clip.png'"
e2e_check "clipboard picture is the whole desktop" [ "$(identify -format '%w %h' "$WL_FILES/clip.png")" = "1920 1080" ]
e2e_stop_vexmor

# 5. An output turned a quarter: its picture is the turned one the compositor shows.
wl_swaymsg "output HEADLESS-1 transform 90" >/dev/null || e2e_fail "sway cannot turn the output"
e2e_wait_for "the turned output" 20 bash -c \
  "$(printf '%q ' "${WL_AS[@]}") env -i $(printf '%q ' "${WL_ENV[@]}") swaymsg -t get_outputs | grep -q '\"transform\": \"90\"'"
settings 1
start_resident
wl_grim "$WL_FILES/turned.png"
capture
wl_input press left
wl_input release left
saved_equals "1080 1920" "$WL_FILES/turned.png" "turned desktop"
e2e_pass
