#!/usr/bin/env bash
# Installs the Debian packages Vexmor needs to build, run and test, when any is missing.
# Sourced or run by ./run.sh and ./test.sh; quiet when everything is already present.
set -euo pipefail

VEXMOR_PACKAGES=(
  # toolchain
  build-essential cmake ninja-build pkg-config git
  # libraries
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-multimedia-dev libgl-dev
  libagg-dev libfreetype-dev libfontconfig-dev libpng-dev libjpeg-dev zlib1g-dev libwebp-dev libavif-dev
  libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-shape0-dev libxcb-randr0-dev libxcb-render0-dev
  libxcb-keysyms1-dev libxcb-icccm4-dev libglib2.0-dev
  # text capture: the recognition engine with its English and Simplified Chinese data, and the QR and
  # bar code reader
  libtesseract-dev tesseract-ocr-eng tesseract-ocr-chi-sim libzbar-dev
  # Wayland sessions: the client library and its scanner, the stable protocol descriptions, Qt's plugin
  libwayland-dev wayland-protocols qt6-wayland
  # the English interface: Qt's translation tools (lupdate, lrelease and their CMake functions) and
  # Qt's own Chinese for its dialogs and buttons
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n
  # the Wayland test helper's keymap
  libxkbcommon-dev
  # tests and benchmarks; the sources' format and clang-tidy checks
  libgtest-dev libgmock-dev libbenchmark-dev clang-format clang-tidy
  # X server and tools the demo and end-to-end tests drive
  xvfb xauth xdotool x11-utils x11-xserver-utils x11-xkb-utils xcompmgr openbox xclip trayer
  imagemagick pngcheck locales xdg-utils
  # the text capture's scenario makes its QR code with qrencode
  qrencode
  # the WebP and AVIF files' own decoders, for the export's round trips
  webp libavif-bin
  # the session-bus scenario: a private bus daemon and gdbus to call it; the launcher's checker
  dbus-daemon libglib2.0-bin desktop-file-utils
  # Wayland scenarios: a headless compositor, its reference grab, the clipboard tools, a fake portal
  sway grim wl-clipboard python3-dbusmock
  # the StatusNotifierItem tray scenario: waybar's tray as a real item host (dbusmock, above, is its
  # notification server)
  waybar
  # the real portal's scenario: the front-end, the wlr backend (which needs a running PipeWire) and
  # the GTK backend, whose Access the front-end wants before it offers Screenshot at all
  xdg-desktop-portal xdg-desktop-portal-wlr xdg-desktop-portal-gtk pipewire
  # the KDE Plasma scenario: headless KWin (OpenGL on Mesa's software rasteriser), the KDE portal, the
  # desktop-entry cache KWin authorises by, and the bus monitor that sees the shortcuts' calls
  kwin-wayland xdg-desktop-portal-kde libgl1-mesa-dri libkf5service-bin dbus-bin
  # the QML modules of the KDE portal's screenshot dialog, which it loads even for a screenshot without
  # one (and answers nothing when they are missing)
  plasma-workspace qml-module-org-kde-kirigami2 qml-module-qtquick-layouts qml-module-qtquick-controls2
  # the GNOME scenario: headless GNOME Shell and the GNOME portal (the GTK backend and the permission
  # store come with the portals above); the scenario's stand-in for the shell's notification service
  # runs under gjs, which the shell itself does not bring
  gnome-shell xdg-desktop-portal-gnome gjs
  # printing tests: a private CUPS daemon with the cups-pdf queue, PDFs rendered by pdftoppm
  cups-daemon cups-client printer-driver-cups-pdf poppler-utils
  # the language scenario reads the interface as a screen reader does: the accessibility bus and
  # the system Python's bindings of its client library
  at-spi2-core gir1.2-atspi-2.0 python3-gi
  # the icons rendered from the drawing; the Debian package's checks (lintian, the AppStream
  # validator, man for the manual page; dpkg-dev's dpkg-shlibdeps works out its dependencies)
  librsvg2-bin lintian appstream man-db dpkg-dev
  # the package's clean-system scenario: a minimal Debian 12 made from the archive
  debootstrap
  # fonts: a sans family and a CJK-capable one
  fonts-dejavu-core fonts-wqy-microhei
)

missing=()
for p in "${VEXMOR_PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The locale tests check that numbers ignore a comma locale.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf8$'; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  if [ -f /etc/locale.gen ]; then
    $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
    $SUDO locale-gen >/dev/null 2>&1 || true
  fi
fi
