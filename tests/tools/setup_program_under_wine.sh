#!/usr/bin/env bash
# A publisher's Windows release, end to end under Wine: the programs carry their
# hardening flags, `kestrova-publish installer` builds Demo 1.0's setup program, which
# installs silently with its shortcuts and uninstaller; kestrova upgrades that install
# to 1.1 from the Linux reference server, and the uninstaller removes it.
#   setup_program_under_wine.sh LINUX_BIN_DIR WINDOWS_BIN_DIR OBJDUMP BUILD_TYPE
# Runs the .exe files with $KESTROVA_WINE (default: wine). Exit 77 (skipped) without the
# Linux build or makensis.
set -euo pipefail

linux_bin=$1 windows_bin=$2 objdump=$3 build_type=$4
wine=${KESTROVA_WINE:-wine}
for program in "$linux_bin/kestrova-publish" "$linux_bin/kestrova-server"; do
  [[ -x $program ]] || { echo "SKIPPED: no $program; build the Linux build first"; exit 77; }
done
command -v makensis >/dev/null || { echo "SKIPPED: no makensis (package nsis)"; exit 77; }
# Shortcuts must not become menu entries of the Unix user's desktop.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-setup.XXXXXX")
server=""
trap '[ -z "$server" ] || kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }
unix_path() { "$wine" winepath -u "$1" 2>/dev/null; }
windows_variable() { "$wine" cmd /c echo "%$1%" 2>/dev/null | tr -d '\r'; }

# What ships: a stripped kestrova.exe of at most 4 MB, every program relocatable (ASLR),
# its data not executable (DEP), and a 32-bit one large-address-aware.
for program in kestrova kestrova-zip kestrova-publish; do
  headers=$("$objdump" -p "$windows_bin/$program.exe")
  wanted=("DYNAMIC_BASE" "NX_COMPAT" "HIGH_ENTROPY_VA")
  grep -q "(PE32)" <<<"$headers" && wanted[2]="large address aware"
  for flag in "${wanted[@]}"; do grep -q "$flag" <<<"$headers" || fail "$program.exe is not $flag"; done
done
size=$(stat -c %s "$windows_bin/kestrova.exe")
[[ ! $build_type =~ ^(Release|MinSizeRel)$ || $size -le $((4 * 1024 * 1024)) ]] || fail "kestrova.exe: $size bytes"

# The reference server publishes Demo; 1.1 comes later.
mkdir -p "$work/publish/Demo"
"$linux_bin/kestrova-server" --folder "$work/publish" --address 127.0.0.1 --port 0 --path /update \
  >"$work/server.out" 2>"$work/server.log" &
server=$!
for _ in $(seq 100); do url=$(grep -so 'http://[0-9.:]*' "$work/server.out") && break; sleep 0.1; done
[[ -n ${url:-} ]] || fail "the server did not start: $(cat "$work/server.log")"

mkdir -p "$work/demo-1.0/data" "$work/demo-1.1"
for version in 1.0 1.1; do
  cp "$windows_bin/kestrova_e2e_app.exe" "$work/demo-$version/app.exe"
  printf 'Demo %s' "$version" >"$work/demo-$version/readme.txt"
done
printf '[Kestrova]\r\nVERSION=1.0\r\n' >"$work/demo-1.0/data/demo.cfg"
printf '[application]\r\nname=Demo\r\nmain_program=app.exe\r\nfilename_config=data\\demo.cfg\r\n%s\r\n%s\r\n' \
  "param_appli_version=VERSION" "[server]" >"$work/kestrova.ini"
printf 'server_addr1=%s\r\nlink_for_update=/update\r\n' "$url" >>"$work/kestrova.ini"
"$linux_bin/kestrova-publish" installer --name Demo --version 1.0 --from "$work/demo-1.0" \
  --updater "$windows_bin/kestrova.exe" --configuration "$work/kestrova.ini" --publisher "Demo Ltd" \
  --output "$work/Demo-1.0-setup.exe" >"$work/makensis.log" 2>&1 ||
  fail "no setup program: $(cat "$work/makensis.log")"

# Installed silently, per user: no rights asked for.
"$wine" "$work/Demo-1.0-setup.exe" /S >/dev/null 2>&1 || fail "the setup program failed"
install=$(unix_path "$(windows_variable LOCALAPPDATA)\\Programs\\Demo")
for file in app.exe kestrova.exe kestrova.ini data/demo.cfg readme.txt uninstall.exe; do
  [[ -f $install/$file ]] || fail "the setup program did not install $file into $install"
done
desktop=$(unix_path "$(windows_variable USERPROFILE)\\Desktop")
programs=$(unix_path "$(windows_variable APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs")
for link in "$desktop/Demo.lnk" "$programs/Demo/Demo.lnk"; do
  [[ -f $link ]] || fail "no shortcut $link"
  strings "$link" | grep -qi 'Programs\\Demo\\kestrova\.exe$' || fail "$link does not start kestrova: $(strings "$link")"
done
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Demo'
"$wine" reg query "$key" /v QuietUninstallString 2>/dev/null | grep -q 'uninstall.exe" /S' ||
  fail "no uninstaller registered under $key"

# kestrova upgrades that install to 1.1, as the run "Update now" starts with
# administrator rights does it: the window shows, nobody presses a button.
printf 'version 1.1\ndate 2026-12-10\ndownload_server %s\ndescription %s\nsave data\\*.cfg\n' "$url" \
  "$work/demo-1.1/readme.txt" >"$work/recipe.txt"
"$linux_bin/kestrova-publish" release --folder "$work/publish" --name Demo --from "$work/demo-1.1" \
  --recipe "$work/recipe.txt" >"$work/release.log" 2>&1 || fail "1.1 could not be published: $(cat "$work/release.log")"
"$wine" "$install/kestrova.exe" --elevated-upgrade 1.1 >/dev/null 2>&1 ||
  fail "the upgrade failed: $(cat "$(unix_path "$(windows_variable TEMP)\\Demo_upgrade.log")")"
[[ $(cat "$install/readme.txt") == "Demo 1.1" && ! -e $install/started ]] ||
  fail "readme.txt is $(cat "$install/readme.txt"); the application may not start with the rights"
grep -q "VERSION=1.1" "$install/data/demo.cfg" || fail "the installed version is not 1.1"

# The uninstaller runs from a copy of itself, which ends after the folder has gone.
"$wine" "$install/uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
for _ in $(seq 300); do [[ -e $install || -e $desktop/Demo.lnk ]] || break; sleep 0.1; done
[[ ! -e $install ]] || fail "the uninstaller left $install: $(ls -R "$install")"
[[ ! -e $desktop/Demo.lnk && ! -e $programs/Demo ]] || fail "the uninstaller left the shortcuts"
if "$wine" reg query "$key" >/dev/null 2>&1; then fail "the uninstaller left $key"; fi
echo "Demo 1.0 installed silently, upgraded to 1.1 by kestrova and uninstalled"
