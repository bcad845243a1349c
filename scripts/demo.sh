#!/usr/bin/env bash
# Builds kestrova and shows it at work in a throw-away application folder: first as
# a plain launcher, then in front of an application whose update server is asked.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
ensure_packages "${BUILD_PACKAGES[@]}"

configure_and_build build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_TESTS=OFF -DKESTROVA_BENCH=OFF \
  -- kestrova
bin=$PWD/build-demo/bin

app=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-demo.XXXXXX")
trap 'rm -rf "$app"' EXIT
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
} > "$(dirname "$0")/../started.txt"
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

echo "== 3. Without its configuration file"
rm "$app/demo-updater.ini"
(cd / && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/demo-updater") || true
wait_for_start
