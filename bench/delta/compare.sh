#!/usr/bin/env bash
# Full release against delta release for two consecutive versions of a real
# application tree: the files of a Debian package in the two versions the archive
# holds (fetched with apt-get download, so only Debian's own servers are asked).
# Publishes the older version, then the newer one with --previous the older, serves
# them from kestrova-server on 127.0.0.1 and upgrades copies of an installation of the
# older version through the real main window (upgrade_driver, offscreen), in turns:
# once answered with the delta, once with the full release. Prints the bytes each
# upgrade downloaded (from the server's access log and the published files) and the
# median upgrade time of each, with their ratio. Every upgraded tree is compared with
# the newer version's files.
#
#   bench/delta/compare.sh [BUILD_DIR]       (default: build)
#
# Environment: PACKAGE (default libpython3.11-stdlib), OLD and NEW (default the two
# lowest versions apt-cache lists), DELTA_MARGIN (default 50, as kestrova-publish),
# RUNS (default 5) per kind, BENCH_DIR (default $TMPDIR/kestrova-delta-bench).
set -euo pipefail
cd "$(dirname "$0")/../.."
source bench/reference_server.sh

build=${1:-build}
publish=$(realpath "$build/bin/kestrova-publish")
server=$(realpath "$build/bin/kestrova-server")
driver=$(realpath "$build/bin/upgrade_driver")
package=${PACKAGE:-libpython3.11-stdlib}
runs=${RUNS:-5}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/kestrova-delta-bench}
for tool in "$publish" "$server" "$driver" apt-get apt-cache dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
export LC_ALL=C QT_QPA_PLATFORM=offscreen
mapfile -t versions < <(apt-cache madison "$package" | awk -F' [|] ' '{ print $2 }' | sort -uV)
old_deb=${OLD:-${versions[0]:-}}
new_deb=${NEW:-${versions[1]:-}}
[ -n "$old_deb" ] && [ -n "$new_deb" ] || { echo "apt-cache lists fewer than two versions of $package" >&2; exit 2; }
# Release versions take no ":", so the Debian epoch goes.
old=${old_deb#*:}
new=${new_deb#*:}

rm -rf "$work/publish" "$work/runs" "$work/tree-"*
mkdir -p "$work/debs" "$work/publish" "$work/runs"
# tree DEBIAN_VERSION: the package's files as dpkg installs them. Links are left out: the
# release archives carry what they point to, and some point outside the package.
tree() {
  local deb
  (cd "$work/debs" && apt-get download -q "$package=$1" >/dev/null)
  deb=$(ls "$work/debs/${package}_${1//:/%3a}"_*.deb)
  dpkg-deb -x "$deb" "$work/tree-${1#*:}"
  find "$work/tree-${1#*:}" -type l -delete
}
tree "$old_deb"
tree "$new_deb"

"$server" --folder "$work/publish" --port 0 --path /update --log "$work/completions.log" \
  > "$work/server.out" 2> "$work/access.log" &
server_pid=$!
trap 'kill $server_pid 2>/dev/null' EXIT
base=$(reference_server_url "$work/server.out")

echo 'notes' > "$work/notes.txt"
release() {  # VERSION [OPTIONS...]
  local version=$1
  shift
  printf 'version %s\ndate 2026-12-10\ndownload_server %s\ndescription notes.txt\n' "$version" "$base" \
    > "$work/recipe.txt"
  "$publish" release --folder "$work/publish" --name Pkg --from "$work/tree-$version" \
    --recipe "$work/recipe.txt" --overwrite-configuration --force "$@"
}
publish_start=$(date +%s.%N)
release "$old" 2>/dev/null
release "$new" --previous "$old" --delta-margin "${DELTA_MARGIN:-50}"
publish_seconds=$(awk -v a="$publish_start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
delta_archive=$(ls "$work/publish/Pkg/files/" | grep -- '-from-' | head -1 || true)
[ -n "$delta_archive" ] || { echo "no delta was published (see above); DELTA_MARGIN=0 publishes any" >&2; exit 1; }

# install KIND: a fresh installation of the old version; "full" records a version no
# delta is published for, so that the server answers it with the full release.
install() {
  local app=$work/runs/$1
  rm -rf "$app"
  cp -a "$work/tree-$old" "$app"
  printf '#!/bin/sh\n' > "$app/run.sh"
  chmod 755 "$app/run.sh"
  printf '[application]\nname=Pkg\nmain_program=run.sh\nfilename_config=app.cfg\nparam_appli_version=VERSION\n[server]\nserver_addr1=%s\nlink_for_update=/update\n' \
    "$base" > "$app/kestrova.ini"
  printf '[Kestrova]\nVERSION=%s\n' "$([ "$1" = full ] && echo 0 || echo "$old")" > "$app/app.cfg"
}
# upgrade KIND: seconds of one upgrade, checked against the new version's files.
upgrade() {
  local app=$work/runs/$1 start seconds
  install "$1"
  sync
  start=$(date +%s.%N)
  XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data KESTROVA_PROFILES_ROOT=$work/home "$driver" "$app/kestrova" 2>/dev/null \
    || { echo "$1: the upgrade failed" >&2; exit 1; }
  seconds=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }')
  rm -f "$app/run.sh" "$app/kestrova.ini" "$app/app.cfg"
  # The full release leaves the files only the old version had: compare what it brings.
  if [ "$1" = delta ]; then
    diff -r "$app" "$work/tree-$new" > /dev/null || { echo "delta: the tree differs from $new" >&2; exit 1; }
  else
    (cd "$work/tree-$new" && find . -type f -exec cmp -s {} "$app/{}" \; -o -type f -print) | grep -q . \
      && { echo "full: a file differs from $new" >&2; exit 1; }
  fi
  echo "$seconds"
}
for kind in delta full; do : > "$work/$kind.times"; done
for _ in $(seq "$runs"); do
  for kind in delta full; do upgrade "$kind" >> "$work/$kind.times"; done
done
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# downloaded KIND-ARCHIVE: bytes of the archive and of the action list an upgrade gets.
downloaded() {
  local list=$2
  echo $(($(stat -c %s "$work/publish/Pkg/files/$1") + $(stat -c %s "$work/publish/Pkg/$list")))
}
full_archive=Pkg-$new.zip
grep -q "/files/Pkg/$delta_archive\"" "$work/access.log" || { echo "the delta was never downloaded" >&2; exit 1; }
delta_bytes=$(downloaded "$delta_archive" "deltas/$old/actionlist.ini")
full_bytes=$(downloaded "$full_archive" actionlist.ini)
delta_time=$(median "$work/delta.times")
full_time=$(median "$work/full.times")
files=$(find "$work/tree-$new" -type f | wc -l)
tree_bytes=$(du -sb "$work/tree-$new" | cut -f1)
changed=$(awk '/^\[/ { section = $0 } section == "[delta_base]" && /^file[0-9]+=/' \
  "$work/publish/Pkg/deltas/$old/actionlist.ini" | wc -l)
echo "package $package $old -> $new: $files files, $tree_bytes bytes; base files the delta replaces or deletes: $changed"
echo "publishing $new with the delta: ${publish_seconds}s"
printf '%-6s %12s %10s\n' kind bytes seconds
printf '%-6s %12s %10s\n' full "$full_bytes" "$full_time" delta "$delta_bytes" "$delta_time"
awk -v db="$delta_bytes" -v fb="$full_bytes" -v dt="$delta_time" -v ft="$full_time" -v runs="$runs" \
  'BEGIN { printf "delta/full: bytes %.3fx, time %.2fx (median of %d)\n", db / fb, dt / ft, runs }'
