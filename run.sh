#!/usr/bin/env bash
# Installs what is missing, builds and runs Vexmor. With no display it runs a scripted demo under
# a private X server and leaves its pictures in demo-out/.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
bash scripts/build.sh >/dev/null
if [ -n "${DISPLAY:-}" ]; then
  exec build/vexmor "$@"
fi
exec bash scripts/demo.sh
