#!/usr/bin/env bash
# The package on a clean Debian 12 made by debootstrap from the machine's Debian mirror and sources
# (kept as a tarball in /var/cache/vexmor-tests): apt alone installs it, no recommended package; the
# program tells its version; one installed font covers every non-ASCII character of the interface,
# and the settings window, shown to an unprivileged user, is drawn with it (its picture changes when
# that font is hidden); `apt-get purge` leaves nothing. Needs root (chroot, mounts): else skipped (77).
source "$(dirname "$0")/lib.sh"
e2e_init package_chroot
[ "$(id -u)" = 0 ] || { e2e_log "skipped: a chroot and its mounts need root"; exit 77; }
command -v debootstrap >/dev/null || e2e_fail "debootstrap is not installed (scripts/deps.sh)"
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
cache=/var/cache/vexmor-tests/bookworm-minbase.tar.gz
root="$E2E_DIR/root"

# Mounts are undone once the processes have ended; the scratch folder goes only with nothing mounted.
mounts=()
chroot_mount() { mount "$@" && mounts+=("${@: -1}"); }
chroot_cleanup() {
  local keep=${E2E_KEEP:-0} i
  E2E_KEEP=1 e2e_cleanup
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}"; done
  if grep -qF " $root/" /proc/mounts; then
    e2e_log "mounts are left under $root: $E2E_DIR is kept"
  elif [ "$keep" != 1 ]; then
    rm -rf --one-file-system "$E2E_DIR"
  fi
}
trap chroot_cleanup EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

# The machine's Debian sources, "URI SUITE COMPONENT" a line; the bookworm one is the mirror.
sources=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT) $(ORIGIN)' 'Created-By: Packages' |
  awk '$4 == "Debian" {print $1, $2, $3}' | sort -u)
mirror=$(awk '$2 == "bookworm" {print $1; exit}' <<<"$sources")
[ -n "$mirror" ] || e2e_fail "the machine's apt sources name no Debian bookworm mirror: $sources"

start=$SECONDS
if ! { [ -s "$cache" ] && mkdir -p "$root" && tar -C "$root" -xzf "$cache"; }; then
  e2e_log "making the minimal system from $mirror (kept in $cache)"
  rm -rf --one-file-system "$root" && mkdir -p "$(dirname "$cache")"
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$E2E_DIR/debootstrap.log" 2>&1 ||
    e2e_fail "debootstrap failed: $(tail -5 "$E2E_DIR/debootstrap.log")"
  tar -C "$root" -czf "$cache.new" . && mv "$cache.new" "$cache"
fi
e2e_log "the minimal system took $((SECONDS - start)) s to make or unpack"
sed 's/^/deb /' <<<"$sources" >"$root/etc/apt/sources.list"
cp /etc/resolv.conf "$root/etc/resolv.conf"
chroot_mount -t proc proc "$root/proc" && chroot_mount -t sysfs sys "$root/sys" &&
  chroot_mount --bind /dev "$root/dev" && chroot_mount --bind /dev/pts "$root/dev/pts" || e2e_fail "mounts failed"

deb=$(bash "$source_dir/scripts/package.sh" "$(dirname "$VEXMOR_BIN")" 2>"$E2E_DIR/package.log") ||
  e2e_fail "scripts/package.sh failed: $(cat "$E2E_DIR/package.log")"
cp "$deb" "$root/tmp/"
start=$SECONDS
in_root apt-get update >"$E2E_DIR/apt.log" 2>&1 || e2e_fail "apt-get update failed: $(tail -5 "$E2E_DIR/apt.log")"
in_root apt-get install -y --no-install-recommends "/tmp/$(basename "$deb")" >>"$E2E_DIR/apt.log" 2>&1 ||
  e2e_fail "apt cannot install the package: $(tail -5 "$E2E_DIR/apt.log")"
e2e_log "apt installed $(grep -c '^Setting up' "$E2E_DIR/apt.log") packages in $((SECONDS - start)) s"
version=$(in_root vexmor --version 2>&1)
e2e_check "the installed program tells its version ($version)" test "$version" = "Vexmor 1.5.0.0"

# The glyphs: all the interface's texts at once against each installed font.
hexes=$(python3 - "$source_dir/i18n/vexmor_en.ts" <<'PY'
import sys, xml.etree.ElementTree as ET
chars = {c for m in ET.parse(sys.argv[1]).iter("message") for c in m.findtext("source") or "" if ord(c) > 0x7e}
print(" ".join("%x" % ord(c) for c in sorted(chars)))
PY
)
covering=$(in_root fc-list ":charset=$hexes" family)
e2e_check "an installed font covers the interface's $(wc -w <<<"$hexes") non-ASCII characters ($covering)" test -n "$covering"

# The settings window, drawn by the installed program as a user would see it, with the fonts as
# installed and with the Chinese fonts hidden from fontconfig.
e2e_start_x 1280x800x24
mkdir -m 0700 "$root/tmp/run" && chown 65534:65534 "$root/tmp/run"
{
  echo '<?xml version="1.0"?><!DOCTYPE fontconfig SYSTEM "fonts.dtd"><fontconfig>'
  echo '<include>/etc/fonts/fonts.conf</include><selectfont><rejectfont>'
  in_root fc-list :lang=zh file | sed 's/: *$//; s|.*|<glob>&</glob>|'
  echo '</rejectfont></selectfont></fontconfig>'
} >"$root/tmp/no-chinese.conf"
main_window() { xdotool search --onlyvisible --class --name '^Vexmor$' 2>/dev/null | grep -m1 .; }
# A picture of the window once it has more than two colours and two grabs in a row are equal.
steady_grab() {  # PNG
  local new=${1%.png}-new.png
  import -window "$(main_window)" "$new" && [ "$(identify -format %k "$new")" -gt 2 ] &&
    [ -f "$1" ] && compare -metric AE "$1" "$new" null: 2>/dev/null
  local same=$?
  mv "$new" "$1"
  return $same
}
settings_picture() {  # PNG [FONTCONFIG_FILE]
  e2e_spawn chroot --userspec=65534:65534 "$root" env -i HOME=/tmp/run XDG_RUNTIME_DIR=/tmp/run \
    LANG=C.UTF-8 DISPLAY="$DISPLAY" QT_QPA_PLATFORM=xcb ${2:+FONTCONFIG_FILE=$2} /usr/bin/vexmor --settings
  VEXMOR_PID=$E2E_LAST_PID
  e2e_wait_for "the settings window" 60 main_window
  e2e_wait_for "a steady picture of the settings window" 30 steady_grab "$1"
  e2e_stop_vexmor
}
settings_picture "$E2E_DIR/settings.png"
settings_picture "$E2E_DIR/settings-no-chinese.png" /tmp/no-chinese.conf
difference=$(compare -metric AE "$E2E_DIR/settings.png" "$E2E_DIR/settings-no-chinese.png" null: 2>&1)
e2e_check "the settings window is drawn with the Chinese font ($difference pixels change without it)" \
  awk -v d="$difference" 'BEGIN {exit !(d + 0 > 1000)}'

e2e_check "the package's files are installed" test -n "$(find "$root/usr" -iname '*vexmor*' | head -1)"
e2e_check "apt purges the package" in_root apt-get purge -y vexmor >"$E2E_DIR/purge.log"
e2e_check "dpkg no longer knows it" bash -c '! chroot "$0" dpkg-query -W vexmor 2>/dev/null' "$root"
left=$(find "$root/usr" "$root/etc" -iname '*vexmor*')
e2e_check "nothing of the package is left in /usr or /etc ($left)" test -z "$left"
e2e_pass
