#!/usr/bin/env bash
# The scripted demo: a private X server with a compositor, the real program, and one scene per
# feature (scripts/demo.d/*.sh, in order), each leaving its pictures in demo-out/.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# A build elsewhere is shown when VEXMOR_BIN names it.
export VEXMOR_BIN="${VEXMOR_BIN:-$root/build/vexmor}"
DEMO_OUT="$root/demo-out"
export DEMO_OUT
rm -rf "$DEMO_OUT"
mkdir -p "$DEMO_OUT"

source "$root/tests/e2e/lib.sh"
e2e_init demo
e2e_start_x 1920x1080x24
e2e_start_compositor
# A calm desktop background so that the pictures show something.


# Saves the whole screen with a caption strip explaining the scene.
demo_shot() {
  local name=$1 caption=$2 raw="$E2E_DIR/$1.png"
  import -window root "$raw" 2>/dev/null || return 1
  convert "$raw" -gravity south -background '#202020' -fill white -font DejaVu-Sans -pointsize 22 \
    -splice 0x44 -annotate +0+8 "$caption" "$DEMO_OUT/$name.png" 2>/dev/null || cp "$raw" "$DEMO_OUT/$name.png"
  echo "  $DEMO_OUT/$name.png"
}

echo "Vexmor demo on display $DISPLAY:"
status=0
for scene in "$root"/scripts/demo.d/*.sh; do
  [ -f "$scene" ] || continue
  # shellcheck source=/dev/null
  if ! source "$scene"; then
    echo "  scene $(basename "$scene") failed" >&2
    status=1
  fi
done
echo "Pictures are in $DEMO_OUT/"
exit $status
