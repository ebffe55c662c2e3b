#!/usr/bin/env bash
# Capture on a Wayland compositor (headless sway, one output), through its screen-copy interface,
# driven by the compositor's virtual keyboard and pointer: `vexmor --capture` opens the overlay; a click
# saves the whole desktop exactly as the compositor's own picture shows it; Esc cancels (the
# magnifier's overlay too); a Ctrl rectangle saves exactly its pixels; with the clipboard as the
# after-capture action the picture is there for `wl-paste -t image/png`; `--capture=window` takes the
# focused window as sway tells it, exactly its pixels, named after its title; an output turned a
# quarter is captured as the compositor shows it.
set -u
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/wayland_lib.sh"
e2e_init wayland_capture
wl_prepare

wl_background bg1.png 1920x1080
source "$(dirname "$0")/wayland_capture_lib.sh" || e2e_fail "wayland_capture_lib.sh does not load"

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

# The magnifier opens on the frozen desktop and Esc leaves it (and the program) as a capture does.
wl_input move 900 500
plain=$(pixel_now 900 400)
wl_run "$WL_VEXMOR" --capture=magnifier || e2e_fail "vexmor --capture=magnifier failed"
e2e_wait_for "the magnifier's overlay" 30 overlay_shown
e2e_wait_for "the magnified desktop on screen" 30 pixel_differs 900 400 "$plain"
wl_input key Escape
e2e_wait_for "the magnifier to go on Esc" 10 overlay_gone
e2e_check "the program keeps running after the magnifier" e2e_alive "$VEXMOR_PID"

# 3. A Ctrl rectangle is exact in pixels: the compositor's picture of the same region.
wl_input move 700 300
wl_grim "$WL_FILES/region.png" -g "700,300 300x150"
capture
ctrl_rectangle 700 300 300 150
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

# 5. The active window from sway: a floating window of 600 x 400 and exactly its pixels.
settings 1
start_resident
wl_swaymsg 'for_window [title="VexmorDropTarget"] floating enable, resize set 600 400' >/dev/null
: "${VEXMOR_DROP_TARGET:=$(dirname "$VEXMOR_BIN")/tests/vexmor_drop_target}"
target=$(wl_copy_in "$VEXMOR_DROP_TARGET")
wl_spawn "$target" 0 0 600 400 >"$E2E_DIR/target.out" 2>&1
target_pid=$E2E_LAST_PID
focused_rect() {
  wl_swaymsg -t get_tree | /usr/bin/python3 -c 'import json, sys
def walk(n):
    if n.get("focused") and n.get("name") == "VexmorDropTarget":
        r = n["rect"]; print(r["x"], r["y"], r["width"], r["height"]); return True
    return any(walk(c) for c in n.get("nodes", []) + n.get("floating_nodes", []))
sys.exit(0 if walk(json.load(sys.stdin)) else 1)'
}
window_placed() { [ "$(focused_rect | cut -d' ' -f3-)" = "600 400" ]; }
e2e_poll 30 window_placed || e2e_fail "the floating window not focused at 600 x 400: $(wl_swaymsg -t get_tree | grep -E '"(name|focused|type)"|"width"|"height"' | tr -s ' ' | paste -sd' ' | tail -c 1500)"
read -r wx wy ww wh < <(focused_rect)
cx=$((wx + ww / 2)) cy=$((wy + wh / 2))
e2e_wait_for "the window drawn on screen" 30 pixel_differs "$cx" "$cy" \
  "$(convert "$WL_FILES/before.png" -format "%[hex:p{$cx,$cy}]" info:)"
wl_input move 1500 900
wl_grim "$WL_FILES/window.png" -g "$wx,$wy ${ww}x$wh"
wl_run "$WL_VEXMOR" --capture=window || e2e_fail "vexmor --capture=window failed"
e2e_wait_for "the overlay of the window capture" 30 overlay_shown
e2e_wait_for "the tinted desktop on screen" 30 pixel_differs 5 5 "$(convert "$WL_FILES/before.png" -format '%[hex:p{5,5}]' info:)"
wl_input press left
wl_input release left
saved_equals "$ww $wh" "$WL_FILES/window.png" "window capture"
e2e_check "the picture is named after the window (got $(basename "$(saved)"))" \
  [ "$(basename "$(saved)")" = "VexmorDropTarget.png" ]
kill "$target_pid" 2>/dev/null
e2e_stop_vexmor
rm -f "$DESK"/*

# 6. An output turned a quarter: its picture is the turned one the compositor shows.
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
