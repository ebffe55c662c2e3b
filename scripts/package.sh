#!/usr/bin/env bash
# Builds the Debian package from a build folder (default build/): brings the build up to date, then
# lets CPack install it into a staging folder as /usr and pack it. Prints the package's path, which
# is <build>/vexmor_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/CMakeCache.txt" ] || { echo "package.sh: $build is not a configured build folder" >&2; exit 1; }
build=$(cd "$build" && pwd)
nice -n 10 cmake --build "$build" --target vexmor vexmor_main vexmor_sound vexmor_data >/dev/null
# The package's name holds the version and architecture CPack gives it; only this run's package is
# left in the folder.
rm -f "$build"/vexmor_*.deb
(cd "$build" && cpack -G DEB -B "$build/_CPack_Packages/out" >/dev/null)
deb=$(compgen -G "$build/_CPack_Packages/out/vexmor_*.deb" | head -1)
[ -n "$deb" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
mv "$deb" "$build/"
echo "$build/$(basename "$deb")"
