#!/usr/bin/env bash
# Capture on command, as a user binds it to a key: `vexmor --capture` handed to the copy waiting in
# the tray (and confirming the overlay it has open), the magnifier and delayed forms, --settings,
# --help/--version/unknown options, and a first start by command that stays resident.
source "$(dirname "$0")/lib.sh"
e2e_init command
e2e_start_x 1280x800x24
ini="$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
mkdir -p "$(dirname "$ini")"
# Confirmed captures are saved to the desktop as JPEG.
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=1\nAlwaysCBBox=0\n' >"$ini"
saved() { compgen -G "$XDG_DESKTOP_DIR/*.jpg" >/dev/null; }
# Runs the command to its end; its status in $status, its output in $out and $err.
run() {
  out=$("$VEXMOR_BIN" "$@" 2>"$E2E_DIR/err")
  status=$?
  err=$(cat "$E2E_DIR/err")
}

# --- options that start nothing ----------------------------------------------------------------
run --help
e2e_check "--help exits 0 (was $status)" test "$status" = 0
e2e_check "--help prints the usage on stdout, in the program's Chinese" grep -q -- "--capture\[=方式\]" <<<"$out"
out=$(LC_ALL=en_US.UTF-8 "$VEXMOR_BIN" --help)
e2e_check "--help in an English locale is English" grep -q -- "--capture\[=MODE\]" <<<"$out"
run --version
e2e_check "--version prints 'Vexmor 1.5.0.0' and exits 0 (was $status: $out)" test "$status/$out" = "0/Vexmor 1.5.0.0"
run --capture --frobnicate
e2e_check "an unknown option exits 2 (was $status)" test "$status" = 2
e2e_check "one line on stderr naming it and --help ($err)" bash -c '[ "$(wc -l <<<"$0")" = 1 ] && grep -q -- "--frobnicate" <<<"$0" && grep -q -- "--help" <<<"$0"' "$err"
e2e_check "nothing on stdout for an error" test -z "$out"
err=$(LC_ALL=en_US.UTF-8 "$VEXMOR_BIN" --frobnicate 2>&1 >/dev/null)
e2e_check "the mistake in English in an English locale ($err)" \
  test "$err" = "vexmor: unknown option '--frobnicate'; see 'vexmor --help'"
# Copies of the program on this test's display (other scenarios run theirs beside it).
copies_here() {
  local pid
  for pid in $(pgrep -x vexmor); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "DISPLAY=$DISPLAY" && echo "$pid"
  done
  return 0
}
e2e_check "nothing started by the options" test -z "$(copies_here)"

# --- handed to the copy in the tray --------------------------------------------------------------
e2e_start_vexmor /tray
resident=$VEXMOR_PID
e2e_wait_for "the resident copy" 30 e2e_main_windows
run --capture
e2e_check "--capture handed over exits 0 (was $status)" test "$status" = 0
e2e_wait_for "the overlay after --capture" 30 e2e_overlay_shown
run --capture
e2e_wait_for "a second --capture confirms the overlay" 30 e2e_overlay_gone
e2e_wait_for "the confirmed capture saved" 30 saved
rm -f "$XDG_DESKTOP_DIR"/*.jpg

run --capture=magnifier
e2e_wait_for "the overlay after --capture=magnifier" 30 e2e_overlay_shown
# The magnifier opens centred on the monitor, where it puts the pointer.
eval "$(xdotool getmouselocation --shell)"
e2e_check "the magnifier put the pointer on the monitor's centre ($X,$Y)" test "$X,$Y" = "640,400"
xdotool key Escape
e2e_wait_for "the magnifier cancelled" 30 e2e_overlay_gone

start=$(date +%s%N)
run --capture --delay 2
e2e_check "--delay handed over exits 0 at once (was $status)" test "$status" = 0
e2e_wait_for "the overlay after --delay 2" 30 e2e_overlay_shown
waited=$((($(date +%s%N) - start) / 1000000))
e2e_check "the delayed overlay came after 1.5 s at least (after ${waited} ms)" test "$waited" -ge 1500
xdotool key Escape
e2e_wait_for "the delayed overlay cancelled" 30 e2e_overlay_gone

run --settings
e2e_wait_for "the settings tab after --settings" 30 bash -c 'id=$(xdotool search --onlyvisible --name "^Vexmor$" | head -1) && [ -n "$id" ] && xwininfo -id "$id" | grep -q "Width: 466"'
e2e_check "the resident copy still runs" e2e_alive "$resident"
e2e_stop_vexmor

# --- no copy running: the command starts one that captures and stays ------------------------------
e2e_start_vexmor --capture
e2e_wait_for "the overlay of a first start by --capture" 30 e2e_overlay_shown
xdotool mousemove 600 400 click 1
e2e_wait_for "its capture saved" 30 saved
e2e_check "the copy stays resident after its capture" e2e_alive "$VEXMOR_PID"
run --version
e2e_stop_vexmor
e2e_pass
