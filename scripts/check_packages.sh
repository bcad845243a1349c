#!/usr/bin/env bash
# Builds the Debian packages from a finished build and proves them complete: their
# file lists, lintian without errors, manual pages that know every option, an install
# into a throw-away root whose binaries run, and a purge that leaves nothing behind.
# Usage: scripts/check_packages.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
fail() { echo "check_packages: $*" >&2; exit 1; }

quietly() {
  local out
  out=$("$@" 2>&1) || { echo "$out" >&2; fail "failed: $*"; }
}

rm -f "$build"/*.deb
quietly cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build"
updater=$(ls "$build"/kestrova_*.deb)
server=$(ls "$build"/kestrova-server_*.deb)

# The file lists.
expect_files() {
  local deb=$1; shift
  local listing
  listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
  for f in "$@"; do
    grep -qx "./$f" <<<"$listing" || fail "$(basename "$deb") lacks /$f"
  done
}
expect_files "$updater" usr/bin/kestrova usr/lib/kestrova/libkestrova-check.so \
  usr/lib/kestrova/libkestrova-windows.so usr/bin/kestrova-zip usr/share/man/man1/kestrova.1.gz \
  usr/share/man/man1/kestrova-zip.1.gz usr/share/doc/kestrova/README.md \
  usr/share/doc/kestrova/examples/demo.desktop usr/share/doc/kestrova/examples/demo-updater.ini \
  usr/share/doc/kestrova/copyright usr/share/doc/kestrova/changelog.gz
expect_files "$server" usr/bin/kestrova-server usr/share/man/man1/kestrova-server.1.gz \
  usr/bin/kestrova-publish usr/share/man/man1/kestrova-publish.1.gz \
  usr/lib/systemd/system/kestrova-server.service usr/share/doc/kestrova-server/README.md \
  usr/lib/systemd/system/kestrova-publish-refresh@.service usr/lib/systemd/system/kestrova-publish-refresh@.timer \
  usr/share/doc/kestrova-server/examples/publish/Demo/release.ini \
  usr/share/doc/kestrova-server/copyright usr/share/doc/kestrova-server/changelog.gz
dpkg-deb -f "$server" Depends | grep -q libmicrohttpd || fail "kestrova-server does not depend on libmicrohttpd"
dpkg-deb -f "$updater" Depends | grep -q libqt6widgets6 || fail "kestrova does not depend on Qt"
# Debian policy as lintian checks it: errors fail, warnings are shown.
lintian_ok=true
lintian_out=$(lintian --fail-on error --tag-display-limit 0 "$updater" "$server" 2>&1) || lintian_ok=false
grep -v '^running with root privileges' <<<"$lintian_out" >&2 || true
$lintian_ok || fail "lintian reports errors"
# apt accepts them: every dependency can be met from the archive.
quietly apt-get -s install "$(realpath "$updater")" "$(realpath "$server")"

# An install into a throw-away root. Maintainer scripts run outside a chroot there,
# with DPKG_ROOT naming the root; dependencies are the host's.
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg_root() {
  quietly dpkg --root="$root" --force-depends --force-script-chrootless --force-not-root \
    --log=/dev/null "$@"
}
dpkg_root --install "$updater" "$server"
for program in kestrova kestrova-zip kestrova-server kestrova-publish; do
  "$root/usr/bin/$program" --version | grep -q "^$program [0-9]" || fail "$program --version"
done
[ -d "$root/srv/kestrova-server" ] || fail "postinst made no publishing folder"

# Every option a program's --help names is in its manual page.
for program in kestrova-zip kestrova-server kestrova-publish; do
  page=$(zcat "$root/usr/share/man/man1/$program.1.gz" | sed 's/\\-/-/g')
  for option in $("$root/usr/bin/$program" --help | grep -o -- '--[a-z-]*[a-z]' | sort -u); do
    grep -q -- "$option" <<<"$page" || fail "the manual page of $program lacks $option"
  done
done

# The installed tools at work: an archive round trip, and the server on the
# example publishing folder without a warning.
work="$root/tmp/work"
mkdir -p "$work/tree/sub"
echo content >"$work/tree/sub/file.txt"
"$root/usr/bin/kestrova-zip" add "$work/t.zip" "$work/tree" '*.*' >/dev/null
"$root/usr/bin/kestrova-zip" test "$work/t.zip" >/dev/null
warnings=$(timeout 2 "$root/usr/bin/kestrova-server" --port 0 --log "$work/log" \
  --folder "$root/usr/share/doc/kestrova-server/examples/publish" 2>&1 >/dev/null || true)
[ -z "$warnings" ] || fail "the example publishing folder draws warnings: $warnings"
rm -rf "$work"

# A purge leaves nothing but the package database.
dpkg_root --purge kestrova kestrova-server
left=$(find "$root" -mindepth 1 -not -path "$root/var/lib/dpkg*" -not -type d)
[ -z "$left" ] || fail "left after purge: $left"
echo "packages complete: $(basename "$updater") $(basename "$server")"
