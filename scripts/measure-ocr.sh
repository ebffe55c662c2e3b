#!/usr/bin/env bash
# How well and how fast the text capture reads: renders known English (DejaVu Sans, DejaVu Sans Mono)
# and Chinese (WenQuanYi Micro Hei) text at 11, 14 and 20 px, black on white and light grey on a dark
# ground, each a 1000 x 300 region, and prints the engine's first load, then for every case the
# character error rate and the median time of its recognition, wall clock and the thread's processor
# time (the engine loaded once and kept, on one thread as the program runs it).
#
#   scripts/measure-ocr.sh [--build DIR] [--runs N] [--languages chi_sim+eng] [--save FOLDER]
#
# --save keeps the rendered pictures; VEXMOR_MEASURE_SHOW=1 prints what was read beside what was drawn.
set -euo pipefail

HERE=$(cd "$(dirname "$0")/.." && pwd)
BUILD="$HERE/build"
ARGS=()
while [ $# -gt 0 ]; do
  case $1 in
  --build) BUILD=$(cd "$2" && pwd); shift 2 ;;
  --runs | --languages | --save) ARGS+=("$1" "$2"); shift 2 ;;
  -h | --help) sed -n '2,10p' "$0"; exit 0 ;;
  *) echo "unknown argument: $1" >&2; exit 2 ;;
  esac
done
TOOL="$BUILD/bench/vexmor_measure_text"
[ -x "$TOOL" ] || { echo "no measuring tool at $TOOL (build the vexmor_measure_text target)" >&2; exit 1; }
OMP_THREAD_LIMIT=1 QT_QPA_PLATFORM=offscreen "$TOOL" "${ARGS[@]}"
