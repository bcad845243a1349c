#!/usr/bin/env bash
# Shows kestrova at work: a demo application at version 1.0 with kestrova in front of
# it, and a local kestrova-server that publishes version 1.1 (two release archives
# built with kestrova-zip, an RTF description, and an action list that saves, removes,
# retargets a shortcut and replaces the updater). With a screen you press the buttons
# yourself; without one the same upgrade runs on a virtual screen, driven by xdotool,
# and every window is left as a screenshot. The demo folder stays for you to look at.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

step() { printf '== %s\n' "$*"; }
say() { printf '   %s\n' "$*"; }

step "Installing what the demo needs (when missing)"
ensure_packages "${BUILD_PACKAGES[@]}" unzip xvfb xdotool imagemagick >/dev/null

step "Building kestrova, kestrova-server and kestrova-zip (log: build-demo/build.log)"
mkdir -p build-demo
configure_and_build build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_TESTS=OFF \
  -DKESTROVA_BENCH=OFF -- kestrova kestrova-server kestrova-zip >build-demo/build.log 2>&1 ||
  { tail -n 30 build-demo/build.log; exit 1; }
bin=$PWD/build-demo/bin

demo=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-demo.XXXXXX")
app=$demo/Demo
publish=$demo/publish/Demo
shots=$demo/screenshots
mkdir -p "$app/bin" "$app/data" "$app/cache" "$publish/files" "$demo/tmp" "$shots" \
  "$demo/home/jane/Desktop"
# Everything the upgrade touches outside the application folder stays in the demo folder.
export TMPDIR=$demo/tmp XDG_DATA_HOME=$demo/home/jane/.local/share KESTROVA_PROFILES_ROOT=$demo/home
export XDG_CACHE_HOME=$demo/home/jane/.cache
private=$XDG_CACHE_HOME/kestrova  # the updater's log and save archive

server_pid="" xvfb_pid=""
cleanup() {
  for pid in $server_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

step "Laying out Demo 1.0 in $app"
write_app() {  # write_app FOLDER VERSION
  cat >"$1/bin/demo-app" <<APP
#!/bin/sh
# Demo $2: tells that it ran.
echo "Demo $2 started with: \$*" > "\$(dirname "\$0")/../started.txt"
APP
  chmod +x "$1/bin/demo-app"
}
write_app "$app" 1.0
cp "$bin/kestrova" "$app/demo-updater"
# The release check's and the windows' libraries, loaded only by the starts that use them.
cp "$bin"/libkestrova-*.so "$app/"
cat >"$app/demo-updater.ini" <<INI
[application]
name=Demo
main_program=bin\\demo-app
process_priority=2
filename_config=data\\demo.cfg
param_email=EMAIL
param_appli_version=VERSION
[server]
server_addr1=http://127.0.0.1:9
internet_option_connect_timeout=3
link_for_update=/update
INI
printf '[Kestrova]\nVERSION=1.0\nEMAIL=jane@example.org\n' >"$app/data/demo.cfg"
echo "a plug-in that 1.1 no longer needs" >"$app/old-plugin.txt"
echo "cached data" >"$app/cache/thumbnails.db"
cat >"$demo/home/jane/Desktop/demo.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Demo
Exec=$app/bin/demo-app %F
DESKTOP

step "Publishing Demo 1.1 on kestrova-server"
release=$demo/release-1.1
mkdir -p "$release/program/bin" "$release/updater"
write_app "$release/program" 1.1
echo "Demo 1.1: faster start, new reports." >"$release/program/readme.txt"
head -c 120000000 /dev/urandom >"$release/program/data.bin"  # so the windows stay a moment
# The release's updater: the same program with a marker appended, so the replaced
# updater can be told from the installed one.
cp "$bin/kestrova" "$release/updater/Kestrova.new"
printf '\nkestrova demo build 1.1\n' >>"$release/updater/Kestrova.new"
# A new updater comes with the libraries of its build: it refuses those of another.
cp "$bin"/libkestrova-*.so "$release/updater/"
"$bin/kestrova-zip" add "$publish/files/demo11.zip" "$release/program" '*.*' </dev/null >/dev/null
"$bin/kestrova-zip" add "$publish/files/demo11-updater.zip" "$release/updater" '*.*' </dev/null >/dev/null
printf '[release]\nversion=1.1\ndate=2026-12-09\n' >"$publish/release.ini"
printf '%s' '{\rtf1\ansi{\fonttbl{\f0 Arial;}}\f0\fs20{\b Demo 1.1} brings:\par - a faster start\par - new reports\par - a new updater\par}' \
  >"$publish/description.rtf"
"$bin/kestrova-server" --folder "$demo/publish" --port 0 --path /update \
  --log "$demo/completions.log" >"$demo/server.txt" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q http "$demo/server.txt" && break; sleep 0.1; done
url=$(grep -o 'http://[0-9.:]*' "$demo/server.txt" | head -1)
cat >"$publish/actionlist.ini" <<LIST
[release]
download_server_adr1=$url
filedir=/files/Demo
filename1=demo11.zip
filename2=demo11-updater.zip
Upgrade_Kestrova=1
check_shortcuts=1
[save_action]
path1=data\\*.cfg
path2=bin\\*.*
[files_to_delete]
file1=old-plugin.txt
[folders_to_delete]
dir1=cache
LIST
sed -i "s|^server_addr1=.*|server_addr1=$url|" "$app/demo-updater.ini"
say "kestrova-server serves $url/update; release files under $url/files/Demo/"
installed_sum=$(sha256sum <"$app/demo-updater")

have_screen() {
  [ -n "${WAYLAND_DISPLAY:-}" ] && return 0
  [ -n "${DISPLAY:-}" ] && xdotool getmouselocation >/dev/null 2>&1
}

# Saves the window whose title is $1 as $shots/$2.png, once.
shoot() {
  [ -s "$shots/$2.png" ] && return 0
  local id
  id=$(xdotool search --name "^$1\$" 2>/dev/null | head -1) || return 1
  [ -n "$id" ] && import -window "$id" "$shots/$2.png" 2>/dev/null
}

step "Starting the updater in front of Demo 1.0"
if have_screen; then
  say "The updater shows the release. Press \"Update now\", then \"Launch Application\"."
  "$app/demo-updater" || true
else
  say "No screen here: the upgrade runs on a virtual screen, and each window is saved in $shots"
  export DISPLAY=:73
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >"$demo/xvfb.txt" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
  "$app/demo-updater" &
  updater=$!
  main=$(xdotool search --sync --name '^Release available$' | head -1)
  sleep 1  # the description arrives
  import -window "$main" "$shots/1-main-window.png"
  xdotool mousemove --window "$main" 68 360 click 1  # "Update now"
  while [ ! -s "$private/Demo_upgrade.log" ] && kill -0 "$updater" 2>/dev/null; do
    shoot ' Download in progress...' 2-download || true
    shoot " Save in progress..." 3-save || true
    shoot " Install in progress..." 4-install || true
    sleep 0.05
  done
  sleep 0.5
  import -window "$main" "$shots/5-upgraded.png"
  xdotool mousemove --window "$main" 256 360 click 1  # "Launch Application"
  wait "$updater" || true
fi

step "After the upgrade"
for _ in $(seq 100); do grep -q '1.1' "$app/started.txt" 2>/dev/null && [ ! -e "$app/batch_update.sh" ] && break; sleep 0.1; done
say "The updater's log ($private/Demo_upgrade.log):"
sed 's/^/     /' "$private/Demo_upgrade.log" 2>/dev/null || say "  (no upgrade ran)"
say "Installed version:   $(grep VERSION "$app/data/demo.cfg")"
say "Started:             $(cat "$app/started.txt" 2>/dev/null || echo nothing)"
[ "$(sha256sum <"$app/demo-updater")" = "$(sha256sum <"$release/updater/Kestrova.new")" ] &&
  say "The updater:         replaced by the release's (it ends with \"$(tail -n 1 "$app/demo-updater" | tr -d '\0')\")" ||
  { [ "$(sha256sum <"$app/demo-updater")" = "$installed_sum" ] && say "The updater:         not replaced"; }
say "Shortcut now starts: $(grep '^Exec=' "$demo/home/jane/Desktop/demo.desktop")"
say "Saved before the change: $private/Demo_save.zip: $(unzip -Z1 "$private/Demo_save.zip" 2>/dev/null | tr '\n' ' ')"
say "Removed into the trash:  $(ls "$XDG_DATA_HOME/Trash/files" 2>/dev/null | tr '\n' ' ')"
say "The server's completion log: $(tail -n 1 "$demo/completions.log" 2>/dev/null)"
ls "$shots"/*.png >/dev/null 2>&1 && say "Screenshots: $shots"
step "The demo folder stays for you to look at: $demo"
