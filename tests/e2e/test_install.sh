#!/usr/bin/env bash
# The install rule puts the program, its launcher, icons, sounds and manual page where a desktop finds
# them, and the installed program runs.
source "$(dirname "$0")/lib.sh"
e2e_init install
build=$(dirname "$VEXMOR_BIN")
prefix="$E2E_DIR/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null || e2e_fail "cmake --install failed"
e2e_check "program installed" test -x "$prefix/libexec/vexmor/vexmor"
e2e_check "the program's module beside it" test -s "$prefix/libexec/vexmor/vexmor-main.so"
arch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
e2e_check "sound module in the library folder" test -s "$prefix/lib/$arch/vexmor/vexmor-sound.so"
e2e_check "text module in the library folder" test -s "$prefix/lib/$arch/vexmor/vexmor-text.so"
e2e_check "sounds in the data folder" test -s "$prefix/share/vexmor/sounds/Cap.wav"
e2e_check "icons in the sizes a desktop picks" \
  bash -c 'for s in 16 32 48 64 128 256; do test -s "$0/share/icons/hicolor/${s}x${s}/apps/vexmor.png" || exit 1; done' "$prefix"
e2e_check "AppStream description" test -s "$prefix/share/metainfo/net.tolvane.Vexmor.metainfo.xml"
e2e_check "manual page" test -s "$prefix/share/man/man1/vexmor.1.gz"
e2e_check "bin link" test -x "$prefix/bin/vexmor"
# KWin authorises its screenshot interface by the entry whose Exec is the program itself.
e2e_check "launcher names the installed program" grep -qx "Exec=$prefix/bin/vexmor" "$prefix/share/applications/vexmor.desktop"
e2e_check "launcher asks KWin for its screenshots" \
  grep -qx 'X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2' "$prefix/share/applications/vexmor.desktop"
e2e_check "icon" test -s "$prefix/share/icons/hicolor/scalable/apps/vexmor.svg"
if command -v desktop-file-validate >/dev/null; then
  e2e_check "launcher is valid" desktop-file-validate "$prefix/share/applications/vexmor.desktop"
fi
e2e_start_x
e2e_start_vexmor_installed() { e2e_spawn "$prefix/bin/vexmor" /tray; }
e2e_start_vexmor_installed
e2e_wait_for "installed program's main window" 30 e2e_main_windows
e2e_pass
