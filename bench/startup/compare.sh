#!/usr/bin/env bash
# Times the application's start directly and through kestrova in each mode: the check
# off, a check that an up-to-date kestrova-server on 127.0.0.1 answers, a start within
# check_interval, and check_in_background. Starts take turns (RUNS rounds, default 30)
# and each prints its median to the moment the application runs and the difference
# to a direct start: first without a display, then under Xvfb.
#
#   bench/startup/compare.sh [BUILD_DIR]       (default: build)
#
# Environment: RUNS (default 30), BENCH_DIR (default $TMPDIR/kestrova-startup-bench),
# BEFORE: another build's kestrova (an earlier version, say), timed beside ours with
# the check off and against the up-to-date server.
set -euo pipefail
cd "$(dirname "$0")/../.."
source bench/reference_server.sh

build=$(realpath "${1:-build}")
bench=$build/bin/bench_startup
probe=$build/bin/bench_startup_probe
server=$build/bin/kestrova-server
runs=${RUNS:-30}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/kestrova-startup-bench}
for tool in "$bench" "$probe" "$server" "$build/bin/kestrova" Xvfb; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
export LC_ALL=C XDG_CACHE_HOME=$work/cache

rm -rf "$work" && mkdir -p "$work/publish/Demo"
printf '[release]\nversion=2.0\ndate=d\n' > "$work/publish/Demo/release.ini"
"$server" --folder "$work/publish" --port 0 --path /update --log "$work/server.log" > "$work/server.out" 2> "$work/server.err" &
pids=$!
trap 'kill $pids 2>/dev/null || true' EXIT
base=$(reference_server_url "$work/server.out")

# updater MODE CHECK_RELEASE [KEYS [PROGRAM]]: a folder with the updater in front of the probe.
updater() {
  local dir=$work/$1
  mkdir -p "$dir" && cp "${4:-$build/bin/kestrova}" "$dir/updater"
  ln -sf "$(dirname "${4:-$build/bin/kestrova}")"/libkestrova-*.so "$dir/"
  printf '[application]\ncheck_release=%s\nname=Demo\nmain_program=%s\nfilename_config=app.cfg\n' \
    "$2" "$probe" > "$dir/updater.ini"
  printf 'param_appli_version=VERSION\n[server]\nserver_addr1=%s\nlink_for_update=/update\n%b' \
    "$base" "${3:-}" >> "$dir/updater.ini"
  printf '[Kestrova]\nVERSION=2.0\n' > "$dir/app.cfg"
  echo "$1=$dir/updater"
}
starters=("$(updater check-off 0)" "$(updater up-to-date-server 1)"
          "$(updater within-interval 1 'check_interval=24\n')" "$(updater background 1 'check_in_background=1\n')")
if [ -n "${BEFORE:-}" ]; then
  starters+=("$(updater before-check-off 0 '' "$BEFORE")" "$(updater before-up-to-date-server 1 '' "$BEFORE")")
fi
# The interval starts from one answered check.
"$work/within-interval/updater" "$work/prime" && sleep 0.2

echo "== without a display (median of $runs interleaved starts)"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bench" "$runs" "$probe" "${starters[@]}"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids="$pids $!"
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
echo "== under Xvfb"
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY="$display" "$bench" "$runs" "$probe" "${starters[@]}"
