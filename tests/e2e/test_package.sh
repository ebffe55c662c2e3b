#!/usr/bin/env bash
# The Debian package, made by scripts/package.sh from the build folder the tests run from: lintian
# finds nothing to report, hardening included, it holds exactly the expected files, its dependencies
# come from the binaries and name a Chinese font, its binaries are hardened, and its desktop entry,
# AppStream description and manual page pass their checkers. Unpacked into a scratch root (never
# installed), the program there plays its sounds from the package's sound folder with the module
# from the package's library folder, and a click saves a capture.
source "$(dirname "$0")/lib.sh"
e2e_init package
build=$(dirname "$VEXMOR_BIN")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)

deb=$(bash "$source_dir/scripts/package.sh" "$build" 2>"$E2E_DIR/package.log") ||
  e2e_fail "scripts/package.sh failed: $(cat "$E2E_DIR/package.log")"
e2e_check "the package is named by version and architecture ($deb)" \
  test "$(basename "$deb")" = "vexmor_1.5.0.0_$(dpkg --print-architecture).deb"

# Lintian: no errors or warnings (its overrides, if any, carry their reasons), and none of its
# hardening notes, which it reports as information. (Its remark on running as root goes to stderr
# and says nothing of the package.)
lint=$(lintian --info --fail-on error,warning "$deb" 2>"$E2E_DIR/lintian.err")
status=$?
e2e_check "lintian reports no error or warning (status $status: $(grep -v '^I:' <<<"$lint") $(grep -v 'root privileges' "$E2E_DIR/lintian.err"))" \
  test "$status/$(grep -v '^I:' <<<"$lint")" = "0/"
e2e_check "lintian has no hardening note ($(grep hardening <<<"$lint"))" bash -c '! grep -q hardening <<<"$0"' "$lint"

# Every file and link, directories aside.
expected=$(sort <<LIST
/usr/bin/vexmor
/usr/lib/$arch/vexmor/vexmor-sound.so
/usr/lib/$arch/vexmor/vexmor-text.so
/usr/libexec/vexmor/vexmor
/usr/libexec/vexmor/vexmor-main.so
/usr/share/applications/vexmor.desktop
/usr/share/dbus-1/services/net.tolvane.Vexmor.service
/usr/share/doc/vexmor/README.md
/usr/share/doc/vexmor/changelog.gz
/usr/share/doc/vexmor/copyright
/usr/share/icons/hicolor/16x16/apps/vexmor.png
/usr/share/icons/hicolor/32x32/apps/vexmor.png
/usr/share/icons/hicolor/48x48/apps/vexmor.png
/usr/share/icons/hicolor/64x64/apps/vexmor.png
/usr/share/icons/hicolor/128x128/apps/vexmor.png
/usr/share/icons/hicolor/256x256/apps/vexmor.png
/usr/share/icons/hicolor/scalable/apps/vexmor.svg
/usr/share/man/man1/vexmor.1.gz
/usr/share/metainfo/net.tolvane.Vexmor.metainfo.xml
/usr/share/vexmor/sounds/Blip.wav
/usr/share/vexmor/sounds/Cap.wav
/usr/share/vexmor/sounds/Click.wav
/usr/share/vexmor/sounds/DoubleBlip.wav
/usr/share/vexmor/sounds/ZoomIn.wav
/usr/share/vexmor/sounds/ZoomOut.wav
LIST
)
listing=$(dpkg-deb -c "$deb")
actual=$(awk '$1 !~ /^d/ {print $6}' <<<"$listing" | sed 's|^\./|/|' | sort)
e2e_check "the package holds exactly the expected files (differences: $(diff <(echo "$expected") <(echo "$actual") | grep '^[<>]' | tr '\n' ' '))" \
  test "$expected" = "$actual"
e2e_check "/usr/bin/vexmor links to the program" \
  grep -q '^l.* \./usr/bin/vexmor -> \.\./libexec/vexmor/vexmor$' <<<"$listing"

depends=$(dpkg-deb -f "$deb" Depends)
e2e_log "Depends: $depends"
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6 libqt6dbus6 libpng16-16 libxcb1 \
  libtesseract5 libzbar0; do
  e2e_check "Depends names $lib (from the binaries)" bash -c '[[ ", $0," == *", $1 "* || ", $0," == *", $1,"* ]]' "$depends" "$lib"
done
e2e_check "Depends names a font with the interface's Chinese glyphs" \
  bash -c '[[ ", $0," == *", fonts-wqy-microhei | fonts-noto-cjk,"* ]]' "$depends"
e2e_check "Recommends the text capture's language data ($(dpkg-deb -f "$deb" Recommends))" \
  bash -c '[[ "$0" == *tesseract-ocr-eng* && "$0" == *tesseract-ocr-chi-sim* ]]' "$(dpkg-deb -f "$deb" Recommends)"
e2e_check "the version is the build's" test "$(dpkg-deb -f "$deb" Version)" = 1.5.0.0

root="$E2E_DIR/root"
dpkg -x "$deb" "$root"
out=$(desktop-file-validate "$root/usr/share/applications/vexmor.desktop" 2>&1)
e2e_check "desktop-file-validate passes ($out)" test -z "$out"
out=$(appstreamcli validate --no-net "$root/usr/share/metainfo/net.tolvane.Vexmor.metainfo.xml" 2>&1)
status=$?
e2e_check "appstreamcli validate passes (status $status: $out)" test "$status" = 0
e2e_check "the metainfo launches the desktop entry" \
  grep -q '<launchable type="desktop-id">vexmor.desktop</launchable>' "$root/usr/share/metainfo/net.tolvane.Vexmor.metainfo.xml"
out=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/man1/vexmor.1.gz" 2>&1 >"$E2E_DIR/man.txt")
e2e_check "man renders the manual page without warnings ($out)" test -z "$out"
for section in NAME SYNOPSIS DESCRIPTION OPTIONS FILES ENVIRONMENT "SEE ALSO"; do
  e2e_check "the manual page has $section" grep -q "^$section\$" "$E2E_DIR/man.txt"
done
e2e_check "the bus starts /usr/bin/vexmor" \
  grep -qx 'Exec=/usr/bin/vexmor --tray' "$root/usr/share/dbus-1/services/net.tolvane.Vexmor.service"
for size in 16 32 48 64 128 256; do
  e2e_check "the ${size}px icon is ${size}x${size}" \
    test "$(identify -format '%w %h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/vexmor.png")" = "$size $size"
done
# Built with Debian's hardening flags: every binary bound at start, the program and its module
# calling the C library's checked functions (the sound module calls none that have one).
for elf in usr/libexec/vexmor/vexmor usr/libexec/vexmor/vexmor-main.so "usr/lib/$arch/vexmor/vexmor-sound.so" \
  "usr/lib/$arch/vexmor/vexmor-text.so"; do
  e2e_check "$elf is bound at start" bash -c 'readelf -d "$0" | grep -q "(FLAGS).*BIND_NOW"' "$root/$elf"
done
for elf in usr/libexec/vexmor/vexmor usr/libexec/vexmor/vexmor-main.so; do
  e2e_check "$elf calls fortified functions" bash -c 'nm -D --undefined-only "$0" | grep -q "_chk@"' "$root/$elf"
done
e2e_check "no sounds beside the unpacked program" bash -c '! compgen -G "$0/usr/libexec/vexmor/*.wav"' "$root"

# The unpacked program, started through its link: the capture sound plays as the overlay opens, so
# the module is loaded from the package's library folder, which it does only once it has found a
# sound file (in the package's sound folder: there is none beside the program).
mkdir -p "$XDG_CONFIG_HOME/Vexmor"
printf '[Software\\Vexmor]\nAfterCaptureSel=1\nFormatSel=0\nCapCursorBox=0\n' >"$XDG_CONFIG_HOME/Vexmor/Vexmor.ini"
e2e_start_x 1280x800x24
VEXMOR_BIN="$root/usr/bin/vexmor" e2e_start_vexmor
e2e_wait_for "the unpacked program's overlay" 30 e2e_overlay_shown
module="$root/usr/lib/$arch/vexmor/vexmor-sound.so"
e2e_wait_for "the sound module loaded from $module" 30 grep -qF "$module" "/proc/$VEXMOR_PID/maps"
e2e_check "the program's module is the unpacked one" grep -qF "$root/usr/libexec/vexmor/vexmor-main.so" "/proc/$VEXMOR_PID/maps"
e2e_check "nothing from the build folder is mapped" bash -c '! grep -qF "$0/" "/proc/$1/maps"' "$build" "$VEXMOR_PID"
xdotool mousemove 640 400 click 1
f=$(e2e_saved_picture "$XDG_DESKTOP_DIR")
e2e_check "a click saves the whole screen (got $(identify -format '%w %h' "$f"))" \
  test "$(identify -format '%w %h' "$f")" = "1280 800"
e2e_stop_vexmor
e2e_pass
