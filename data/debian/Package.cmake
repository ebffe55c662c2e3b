# The Debian package, made by CPack from the install rules of the build folder (scripts/package.sh
# runs `cpack -G DEB` there). The package's dependencies are worked out by dpkg-shlibdeps from the
# installed binaries; only what the binaries do not show is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vexmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Tolvane)
set(CPACK_PACKAGE_CONTACT "Tolvane <vexmor@tolvane.net>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screen capture with lasso, ink and magnifier")
# The lines stay within 80 columns, as dpkg shows them.
set(CPACK_PACKAGE_DESCRIPTION
    "Vexmor waits in the tray. Print Screen, the tray menu, a timer or a start from
the command line freezes every monitor into one picture and covers them with an
overlay: outline what to keep with a free-form lasso or a rectangle, draw ink,
zoom into a magnifier and confirm. The capture can then be saved to the
desktop, opened in an image editor, copied to the clipboard, printed or mailed.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tolvane.net/vexmor/")
# The install rules write the prefix into files (the session bus's activation file): they must see
# /usr itself, with the staging folder as DESTDIR, whatever prefix the build was configured for.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The interface speaks Chinese under a Chinese or the bare C locale, and a minimal system has no font
# with those glyphs: WenQuanYi Micro Hei is Debian's smallest that covers them, Noto Sans CJK the
# larger choice (both are among the faces the windows ask for). The binaries' own libraries follow.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Loaded at run time, so no binary names them: Qt's Chinese for its own dialogs and buttons, the
# platform plugin of Wayland sessions, xdg-email for mailing a capture, and the text capture's
# language data (the engine itself, libtesseract5, is a dependency the binaries show).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "qt6-translations-l10n, qt6-wayland, xdg-utils, tesseract-ocr-eng, tesseract-ocr-chi-sim")
include(CPack)
