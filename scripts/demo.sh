#!/usr/bin/env bash
# Builds kestrova and shows it at work in a throw-away application folder: as a plain
# launcher, then in front of an application whose releases a local kestrova-server
# publishes, with a release archive built by kestrova-zip.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
ensure_packages "${BUILD_PACKAGES[@]}"

configure_and_build build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_TESTS=OFF -DKESTROVA_BENCH=OFF \
  -- kestrova kestrova-server kestrova-zip
bin=$PWD/build-demo/bin

app=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-demo.XXXXXX")
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$app"
}
trap cleanup EXIT
mkdir -p "$app/bin" "$app/data"
cp "$bin/kestrova" "$app/demo-updater"
cat > "$app/bin/demo-app" <<'APP'
#!/bin/sh
# The demo application: tells how it was started.
{
  echo "demo-app started"
  echo "  arguments:         $*"
  echo "  working directory: $(pwd)"
  echo "  nice value:        $(cut -d' ' -f19 /proc/$$/stat)"
  echo "  session leader:    $( [ "$(cut -d' ' -f6 /proc/$$/stat)" = "$$" ] && echo yes || echo no)"
} > "$(dirname "$0")/../started.tmp"
mv "$(dirname "$0")/../started.tmp" "$(dirname "$0")/../started.txt"
APP
chmod +x "$app/bin/demo-app"

wait_for_start() {
  for _ in $(seq 50); do [ -s "$app/started.txt" ] && break; sleep 0.1; done
  sed 's/^/    /' "$app/started.txt" 2>/dev/null || echo "    (the application was not started)"
  rm -f "$app/started.txt"
}

echo "== 1. As a plain launcher (check_release=0), below-normal priority"
cat > "$app/demo-updater.ini" <<'INI'
[application]
check_release=0
main_program=bin\demo-app
main_directory=data
program_parameters=--welcome "Jane Doe"
process_priority=6
INI
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/demo-updater")
wait_for_start

echo "== 2. With the release check on, and no update server answering"
cat > "$app/demo-updater.ini" <<'INI'
[application]
check_release=1
name=Demo
main_program=bin\demo-app
main_directory=data
process_priority=2
filename_config=data\demo.cfg
param_email=EMAIL
param_appli_version=VERSION
[server]
server_addr1=http://127.0.0.1:9
internet_option_connect_timeout=2
link_for_update=/update
INI
printf 'VERSION=1.0\r\nEMAIL=jane@example.org\r\n' > "$app/data/demo.cfg"
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/demo-updater")
wait_for_start
echo "    the application's configuration now reads:"
sed 's/^/      /' "$app/data/demo.cfg"

echo "== 3. A publisher builds release 2.1 with kestrova-zip and publishes it"
publish=$app/publish/Demo
mkdir -p "$publish/files" "$app/release-2.1/bin"
cp "$app/bin/demo-app" "$app/release-2.1/bin/"
echo "Demo 2.1 data" > "$app/release-2.1/readme.txt"
"$bin/kestrova-zip" add "$publish/files/demo21.zip" "$app/release-2.1" '*.*' </dev/null
"$bin/kestrova-zip" list "$publish/files/demo21.zip" | sed 's/^/    /'
"$bin/kestrova-zip" test "$publish/files/demo21.zip" | sed 's/^/    /'
printf '[release]\nversion=2.1\ndate=2009-05-04\n' > "$publish/release.ini"
printf '{\\rtf1\\ansi {\\b Demo 2.1}\\par Faster start.\\par}' > "$publish/description.rtf"
printf '[files]\nrelease=demo21.zip\n' > "$publish/actionlist.ini"
"$bin/kestrova-server" --folder "$app/publish" --port 0 --path /update > "$app/server.txt" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q http "$app/server.txt" && break; sleep 0.1; done
url=$(grep -o 'http://[0-9.:]*' "$app/server.txt" | head -1)
echo "    kestrova-server serves at $url"
sed -i "s|^server_addr1=.*|server_addr1=$url|" "$app/demo-updater.ini"

echo "== 4. Installed 2.1 and the server offers 2.1: nothing newer, the application starts"
printf 'VERSION=2.1\r\nEMAIL=jane@example.org\r\n' > "$app/data/demo.cfg"
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/demo-updater")
wait_for_start

echo "== 5. Installed 2.0: the server offers the newer 2.1"
printf 'VERSION=2.0\r\nEMAIL=jane@example.org\r\n' > "$app/data/demo.cfg"
echo "    without a screen nobody could answer the offer, so the application starts:"
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/demo-updater")
wait_for_start
echo "    with a screen (offscreen here) the wait window gives way to the main window, which"
echo "    shows the release and its description and waits for the user (closed after 3 s):"
status=0
QT_QPA_PLATFORM=offscreen timeout 3 "$app/demo-updater" 2>/dev/null || status=$?
[ "$status" = 124 ] && echo "    the main window was open until it was closed" || echo "    (unexpected: kestrova ended by itself)"
[ -s "$app/started.txt" ] && echo "    (unexpected: the application was started)" || echo "    the application was not started"
rm -f "$app/started.txt"

echo "== 6. Without its configuration file"
rm "$app/demo-updater.ini"
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/demo-updater") || true
wait_for_start
