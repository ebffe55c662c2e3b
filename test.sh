#!/usr/bin/env bash
# Installs what is missing, builds, runs every test (unit tests offscreen, end-to-end tests under
# their own X servers) and ends with the line "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")"

bash scripts/deps.sh || { echo "0 passed, 1 failed"; exit 1; }
bash scripts/build.sh || { echo "0 passed, 1 failed"; exit 1; }

results=build/test-results.xml
rm -f "$results"
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 600 -j2 --output-junit test-results.xml)
status=$?

if [ ! -f "$results" ]; then
  echo "0 passed, 1 failed"
  exit 1
fi
attr() { tr '\n\t' '  ' <"$results" | grep -o '<testsuite [^>]*' | head -1 | grep -o "[[:space:]]$1=\"[0-9]*\"" | grep -o '[0-9]\+'; }
total=$(attr tests); failed=$(attr failures); skipped=$(attr skipped); disabled=$(attr disabled)
total=${total:-0}; failed=${failed:-0}; skipped=$(( ${skipped:-0} + ${disabled:-0} ))
passed=$(( total - failed - skipped ))
if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; fi
if [ "$skipped" -gt 0 ]; then
  echo "$passed passed, $failed failed, $skipped skipped"
else
  echo "$passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
