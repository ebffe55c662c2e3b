#!/usr/bin/env bash
# Configures and builds into build/ (release with debug info). Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
elif [ $# -gt 0 ]; then
  cmake -S . -B build "$@" >/dev/null
fi
ninja -C build
