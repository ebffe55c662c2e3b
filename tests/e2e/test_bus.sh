#!/usr/bin/env bash
# The session bus, on a private bus daemon whose only service folder is that of a fresh install: the
# copy in the tray owns net.tolvane.Vexmor and carries out Capture, CaptureAfter and ShowSettings,
# reads out Version, answers bad arguments with an error and keeps running; with no copy running, a
# call makes the bus start one through the installed activation file, and that copy carries it out.
source "$(dirname "$0")/lib.sh"
e2e_init bus
build=$(dirname "$VEXMOR_BIN")
prefix="$E2E_DIR/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || e2e_fail "cmake --install failed"
services="$prefix/share/dbus-1/services"
service_file="$services/net.tolvane.Vexmor.service"
e2e_check "the activation file is installed" test -s "$service_file"
e2e_check "it names the bus name and starts the installed program in the tray ($(tr '\n' ' ' <"$service_file"))" \
  bash -c 'grep -qx "Name=net.tolvane.Vexmor" "$1" && grep -qx "Exec=$2/bin/vexmor --tray" "$1"' _ "$service_file" "$prefix"

e2e_start_x 1280x800x24
cat >"$E2E_DIR/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=$E2E_DIR</listen>
  <auth>EXTERNAL</auth>
  <servicedir>$services</servicedir>
  <limit name="service_start_timeout">60000</limit>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
e2e_spawn dbus-daemon --nofork --print-address --config-file="$E2E_DIR/bus.conf" >"$E2E_DIR/bus-address" 2>"$E2E_DIR/bus-log"
e2e_wait_for "the bus daemon's address" 20 test -s "$E2E_DIR/bus-address"
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$E2E_DIR/bus-address")
export DBUS_SESSION_BUS_ADDRESS

# Calls a method of net.tolvane.Vexmor; its status in $status, what gdbus printed in $out.
call() {
  local method=$1
  shift
  out=$(gdbus call --session --timeout 60 --dest net.tolvane.Vexmor --object-path /net/tolvane/Vexmor \
    --method "net.tolvane.Vexmor.$method" "$@" 2>&1)
  status=$?
}
# The process that owns the name, or nothing.
owner_pid() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.GetConnectionUnixProcessID net.tolvane.Vexmor 2>/dev/null |
    sed -n 's/^(uint32 \([0-9]*\),)$/\1/p'
}
owned_by() { [ "$(owner_pid)" = "$1" ]; }
unowned() { [ -z "$(owner_pid)" ]; }
main_window_shown() { xdotool search --onlyvisible --class --name '^Vexmor$' >/dev/null 2>&1; }
ms_since() { echo $((($(date +%s%N) - $1) / 1000000)); }

# --- the copy in the tray -----------------------------------------------------------------------
e2e_start_vexmor /tray
resident=$VEXMOR_PID
e2e_wait_for "the resident copy" 30 e2e_main_windows
e2e_wait_for "the resident copy to own net.tolvane.Vexmor" 30 owned_by "$resident"

out=$(gdbus call --session --dest net.tolvane.Vexmor --object-path /net/tolvane/Vexmor \
  --method org.freedesktop.DBus.Properties.Get net.tolvane.Vexmor Version 2>&1)
e2e_check "the Version property reads 1.5.0.0 ($out)" test "$out" = "(<'1.5.0.0'>,)"

call Capture 0
e2e_check "Capture 0 answers without an error (was $status: $out)" test "$status" = 0
e2e_wait_for "the overlay after Capture 0" 30 e2e_overlay_shown
xdotool key Escape
e2e_wait_for "the overlay cancelled" 30 e2e_overlay_gone

start=$(date +%s%N)
call CaptureAfter 0 1500
e2e_check "CaptureAfter 0 1500 answers at once (was $status after $(ms_since "$start") ms: $out)" \
  test "$status" = 0 -a "$(ms_since "$start")" -lt 1200
e2e_wait_for "the overlay after CaptureAfter 0 1500" 30 e2e_overlay_shown
waited=$(ms_since "$start")
e2e_check "the delayed overlay came after 1.2 s at least (after $waited ms)" test "$waited" -ge 1200
xdotool key Escape
e2e_wait_for "the delayed overlay cancelled" 30 e2e_overlay_gone

e2e_check "the main window is hidden before ShowSettings" bash -c '! xdotool search --onlyvisible --class --name "^Vexmor$"'
call ShowSettings
e2e_check "ShowSettings answers without an error (was $status: $out)" test "$status" = 0
e2e_wait_for "the main window after ShowSettings" 30 main_window_shown

# Bad arguments: an error reply, nothing started, and the copy serves on.
refused() {
  call "$@"
  e2e_check "$* is refused with InvalidArgs (was $status: $out)" \
    bash -c '[ "$1" != 0 ] && grep -q "org.freedesktop.DBus.Error.InvalidArgs" <<<"$2"' _ "$status" "$out"
}
refused Capture 6
refused Capture 5
refused Capture "int32 -1"
refused CaptureAfter 5 0
refused CaptureAfter 0 3600001
refused CaptureAfter 0 "int32 -5"
out=$(dbus-send --session --print-reply --dest=net.tolvane.Vexmor /net/tolvane/Vexmor \
  net.tolvane.Vexmor.Capture string:desktop 2>&1)
e2e_check "a string for the mode is refused ($out)" grep -q "^Error org.freedesktop.DBus.Error" <<<"$out"
e2e_check "no overlay after the refused calls" e2e_overlay_gone
e2e_check "the resident copy still runs" e2e_alive "$resident"
e2e_check "and still owns the name" owned_by "$resident"
# Calls are carried out in order: had a refused one started a capture, this one would confirm it
# instead of opening the magnifier.
call CaptureAfter 2 0
e2e_check "CaptureAfter 2 0 answers without an error (was $status: $out)" test "$status" = 0
e2e_wait_for "the magnifier's overlay after CaptureAfter 2 0" 30 e2e_overlay_shown
eval "$(xdotool getmouselocation --shell)"
e2e_check "the magnifier put the pointer on the monitor's centre ($X,$Y)" test "$X,$Y" = "640,400"
xdotool key Escape
e2e_wait_for "the magnifier cancelled" 30 e2e_overlay_gone
e2e_stop_vexmor
e2e_wait_for "the name given up with the copy's end" 30 unowned

# --- no copy running: the bus starts one for the call ---------------------------------------------
call Capture 0
e2e_check "Capture 0 with no copy running answers without an error (was $status: $out)" test "$status" = 0
activated=$(owner_pid)
e2e_check "a copy owns the name after the call" test -n "$activated"
[ -n "$activated" ] && E2E_PIDS+=("$activated")  # not a child of this script; stopped with the rest
e2e_wait_for "the overlay of the copy the bus started" 30 e2e_overlay_shown
e2e_check "the bus started the installed program in the tray" \
  test "$(tr '\0' ' ' <"/proc/$activated/cmdline" 2>/dev/null)" = "$prefix/bin/vexmor --tray "
xdotool key Escape
e2e_wait_for "its overlay cancelled" 30 e2e_overlay_gone
e2e_check "the copy the bus started stays resident" e2e_alive "$activated"
kill -TERM "$activated"
e2e_wait_for "the copy the bus started to end" 10 bash -c '! kill -0 "$0" 2>/dev/null' "$activated"
e2e_pass
