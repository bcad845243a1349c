#!/usr/bin/env bash
# A release file through the download dialog from a server that cuts the connection
# three times at random points (tests/data/net/cutting_server.py, which answers the
# rest as a 206), against one uncut download of the same file from the same server:
# the bytes received in all against the file's size, and the time against the
# uncut one. The dialog's pause before each retry (1 s; a try that got farther starts
# the pauses over) is part of the time, and printed beside it.
#
#   bench/download/resume.sh [BUILD_DIR]       (default: build)
#
# Environment: SIZE_MB (default 200), BENCH_DIR (default
# $TMPDIR/kestrova-resume-bench) for the files, CUTS (default: three random offsets,
# comma-separated) to repeat a run.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build}
ours=$(realpath "$build/bin/bench_download")
server=$PWD/tests/data/net/cutting_server.py
size_mb=${SIZE_MB:-200}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/kestrova-resume-bench}
for tool in "$ours" python3 cmp shuf; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
export LC_ALL=C QT_QPA_PLATFORM=offscreen

mkdir -p "$work/files" "$work/out"
size=$((size_mb << 20))
file=$work/files/big.zip
[ -f "$file" ] && [ "$(stat -c %s "$file")" -eq "$size" ] || head -c "$size" /dev/urandom > "$file"
cuts=${CUTS:-$(shuf -i 1-$((size - 1)) -n 3 | sort -n | paste -sd,)}

server_pid=""
trap '[ -z "$server_pid" ] || kill $server_pid 2>/dev/null; rm -f "$work"/out/*' EXIT
# fetch CUTS: "seconds received-bytes" of one download through the dialog.
fetch() {
  rm -f "$work"/out/* "$work/requests.log"
  coproc SERVER { exec python3 "$server" --folder "$work/files" --cuts "$1" --log "$work/requests.log" \
    --lifetime 3600; }
  server_pid=$SERVER_PID
  local port
  read -r port <&"${SERVER[0]}"
  "$ours" "http://127.0.0.1:$port/files/Demo/big.zip" "$work/out/" big.zip > "$work/ours.out"
  kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; server_pid=""
  cmp -s "$work/out/big.zip" "$file" || { echo "dialog: file differs (cuts $1)" >&2; exit 1; }
  awk '{ print $4, $10 }' "$work/ours.out"
}

read -r uncut_s uncut_bytes < <(fetch "")
read -r cut_s cut_bytes < <(fetch "$cuts")
echo "cut at bytes $cuts of $size; requests:" $(cut -d' ' -f1 "$work/requests.log" | paste -sd' ')
awk -v size="$size" -v us="$uncut_s" -v ub="$uncut_bytes" -v cs="$cut_s" -v cb="$cut_bytes" 'BEGIN {
  printf "%-22s %10s %14s %10s\n", "", "seconds", "bytes received", "of size"
  printf "%-22s %10.2f %14d %9.2f%%\n", "uncut", us, ub, 100 * ub / size
  printf "%-22s %10.2f %14d %9.2f%%\n", "cut three times", cs, cb, 100 * cb / size
  printf "extra bytes: %.2f%% (goal: at most 5%%)\n", 100 * (cb - size) / size
  printf "time cut/uncut: %.2f; without the 3 s of retry pauses: %.2f\n", cs / us, (cs - 3) / us
}'
