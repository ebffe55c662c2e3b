#!/usr/bin/env bash
# Faults a user's machine deals the program:
# - killed (-9) while a 4K PNG is being written to the desktop: no picture appears under a final name,
#   and the next start removes a temporary a killed writer left, but never one a writer still holds;
# - its sound module missing or unreadable beside it: captures go on in silence.
source "$(dirname "$0")/lib.sh"
e2e_init faults
e2e_start_x 3840x2160x24
ini="$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
mkdir -p "$(dirname "$ini")"
# After a capture: save it to the desktop as PNG (compressed hard: a noisy 4K picture takes a while).
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\nAlwaysCBBox=0\n' >"$ini"
convert -size 3840x2160 xc: +noise Random -depth 8 "$E2E_DIR/noise.ppm"
display -window root "$E2E_DIR/noise.ppm" >/dev/null 2>&1 || true

pictures() { compgen -G "$XDG_DESKTOP_DIR/*.png"; }
# The program has a file in the desktop folder open: the picture being written.
writing() { ls -l "/proc/$VEXMOR_PID/fd" 2>/dev/null | grep -q -- "-> $XDG_DESKTOP_DIR/"; }

# --- killed while writing ----------------------------------------------------------------------
e2e_start_capture
xdotool mousemove 1900 1000 click 1
e2e_wait_for "the picture being written" 30 writing
kill -KILL "$VEXMOR_PID"
e2e_wait_exit "$VEXMOR_PID" 10 || e2e_fail "the killed program did not end"
e2e_check "no picture under a final name after the kill ($(pictures | tr '\n' ' '))" bash -c '! compgen -G "$0/*.png"' "$XDG_DESKTOP_DIR"
left=$(ls -A "$XDG_DESKTOP_DIR")
e2e_log "left in the desktop folder by the kill: ${left:-nothing}"

# --- the next start sweeps leftovers nobody holds -----------------------------------------------
touch "$XDG_DESKTOP_DIR/.vexmor-Stale1" "$XDG_DESKTOP_DIR/.vexmor-Held01"
e2e_spawn python3 -c 'import fcntl, sys, time
f = open(sys.argv[1]); fcntl.flock(f, fcntl.LOCK_EX); open(sys.argv[2], "w").close(); time.sleep(600)' \
  "$XDG_DESKTOP_DIR/.vexmor-Held01" "$E2E_DIR/held" >/dev/null 2>&1
holder=$E2E_LAST_PID
e2e_wait_for "another writer holding its temporary" 10 test -e "$E2E_DIR/held"
e2e_start_vexmor /tray
e2e_wait_for "the killed writer's temporaries removed" 30 bash -c '! compgen -G "$0/.vexmor-[!H]*"' "$XDG_DESKTOP_DIR"
e2e_check "a temporary another writer holds stays" test -e "$XDG_DESKTOP_DIR/.vexmor-Held01"
e2e_check "the rest of the desktop folder is untouched" test "$(ls -A "$XDG_DESKTOP_DIR")" = ".vexmor-Held01"
e2e_stop_vexmor
kill "$holder"

# --- no usable sound module: the capture still works ------------------------------------------
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=1\nAlwaysCBBox=0\n' >"$ini"
bare="$E2E_DIR/bare"
mkdir -p "$bare"
cp "$VEXMOR_BIN" "$(dirname "$VEXMOR_BIN")/vexmor-main.so" "$bare/"
cp "$(dirname "$VEXMOR_BIN")"/*.wav "$bare/" 2>/dev/null || true
module=$(basename "$(ls "$(dirname "$VEXMOR_BIN")"/vexmor-sound*.so | head -1)")
for variant in missing unreadable; do
  rm -f "$XDG_DESKTOP_DIR"/*.jpg "$bare/$module"
  if [ "$variant" = unreadable ]; then
    head -c 4096 /dev/urandom >"$bare/$module"  # not a library at all (root reads any file)
    chmod 000 "$bare/$module"
  fi
  VEXMOR_BIN="$bare/vexmor" e2e_start_capture
  xdotool mousemove 1900 1000 click 1
  e2e_wait_for "a picture saved with the sound module $variant" 30 bash -c 'compgen -G "$0/*.jpg"' "$XDG_DESKTOP_DIR"
  e2e_check "program still runs with the sound module $variant" e2e_alive "$VEXMOR_PID"
  e2e_stop_vexmor
done
e2e_pass
