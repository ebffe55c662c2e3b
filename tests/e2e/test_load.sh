#!/usr/bin/env bash
# Twenty captures in a row, half saved and half cancelled, leave the program as they found it: its
# descriptors and threads come back, and nothing is left in its folders but the pictures asked for
# (the full run of 200 and the memory figures are scripts/measure-load.sh's).
here=$(cd "$(dirname "$0")" && pwd)
: "${VEXMOR_BIN:=$here/../../build/vexmor}"
exec bash "$here/../../scripts/measure-load.sh" --build "$(dirname "$VEXMOR_BIN")" --captures 20
