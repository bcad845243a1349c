#!/usr/bin/env bash
# Downloads one release file from the reference server over 127.0.0.1 through the
# download dialog (offscreen, its progress handed to the running GUI loop) and with
# `curl -o`, taking turns; prints the median throughput of each, their ratio, the
# peak memory of each and the CPU seconds of each process (the steadier measure when
# others share the machine). The dialog also fetches a file a tenth the size, to show that
# its peak memory does not grow with the file.
#
#   bench/download/compare.sh [BUILD_DIR]       (default: build)
#
# Environment: SIZE_MB (default 200), RUNS (default 3) per tool, BENCH_DIR (default
# $TMPDIR/kestrova-download-bench) for the files.
set -euo pipefail
cd "$(dirname "$0")/../.."
source bench/reference_server.sh

build=${1:-build}
ours=$(realpath "$build/bin/bench_download")
server=$(realpath "$build/bin/kestrova-server")
size_mb=${SIZE_MB:-200}
runs=${RUNS:-3}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/kestrova-download-bench}
for tool in "$ours" "$server" curl cmp /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
export LC_ALL=C QT_QPA_PLATFORM=offscreen

mkdir -p "$work/root/Demo/files" "$work/out"
printf '[release]\nversion=2.1\ndate=d\n' > "$work/root/Demo/release.ini"
# make_file NAME MEGABYTES: random content, so that nothing on the way can shrink it.
make_file() {
  local path=$work/root/Demo/files/$1
  [ -f "$path" ] && [ "$(stat -c %s "$path")" -eq $(($2 << 20)) ] && return
  head -c $(($2 << 20)) /dev/urandom > "$path"
}
make_file big.zip "$size_mb"
make_file small.zip $((size_mb / 10 > 0 ? size_mb / 10 : 1))

"$server" --folder "$work/root" --port 0 --path /upd.php --log "$work/server.log" > "$work/server.out" &
server_pid=$!
trap 'kill $server_pid 2>/dev/null; rm -f "$work"/out/*' EXIT
base=$(reference_server_url "$work/server.out")

# ours FILE: "seconds peak-kilobytes cpu-seconds" of one run through the dialog.
ours() {
  /usr/bin/time -f '%M %U %S' -o "$work/mem" "$ours" "$base/files/Demo/$1" "$work/out/" "$1" > "$work/ours.out"
  cmp -s "$work/out/$1" "$work/root/Demo/files/$1" || { echo "dialog: file differs" >&2; exit 1; }
  echo "$(awk '{ print $4 }' "$work/ours.out") $(awk '{ print $1, $2 + $3 }' "$work/mem")"
}
# peer: the same for curl -o; curl's own transfer time, like the dialog's.
peer() {
  local seconds
  seconds=$(/usr/bin/time -f '%M %U %S' -o "$work/mem" curl -sS -o "$work/out/curl.zip" -w '%{time_total}' \
    "$base/files/Demo/big.zip")
  cmp -s "$work/out/curl.zip" "$work/root/Demo/files/big.zip" || { echo "curl: file differs" >&2; exit 1; }
  echo "$seconds $(awk '{ print $1, $2 + $3 }' "$work/mem")"
}

: > "$work/ours.times"
: > "$work/curl.times"
for _ in $(seq "$runs"); do
  ours big.zip >> "$work/ours.times"
  peer >> "$work/curl.times"
  rm -f "$work"/out/*
done
small=$(ours small.zip)

median() { sort -n -k"$2" "$1" | awk -v k="$2" '{ v[NR] = $k } END { print v[int((NR + 1) / 2)] }'; }
ours_s=$(median "$work/ours.times" 1); curl_s=$(median "$work/curl.times" 1)
ours_kb=$(median "$work/ours.times" 2); curl_kb=$(median "$work/curl.times" 2)
ours_cpu=$(median "$work/ours.times" 3); curl_cpu=$(median "$work/curl.times" 3)
small_kb=$(echo "$small" | awk '{ print $2 }')
awk -v mb="$size_mb" -v o="$ours_s" -v c="$curl_s" -v ok="$ours_kb" -v ck="$curl_kb" \
    -v oc="$ours_cpu" -v cc="$curl_cpu" -v sk="$small_kb" \
    -v smb=$((size_mb / 10 > 0 ? size_mb / 10 : 1)) 'BEGIN {
  printf "%-28s %10s %14s %8s\n", "", "MB/s", "peak memory", "CPU s"
  printf "%-28s %10.1f %11d KB %8.2f\n", "download dialog (" mb " MB)", mb / o, ok, oc
  printf "%-28s %10.1f %11d KB %8.2f\n", "curl -o (" mb " MB)", mb / c, ck, cc
  printf "%-28s %10s %11d KB\n", "download dialog (" smb " MB)", "", sk
  printf "throughput ratio dialog/curl: %.2f (goal: at least 0.90)\n", (mb / o) / (mb / c)
}'
