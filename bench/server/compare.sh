#!/usr/bin/env bash
# Release checks (request 1) answered by kestrova-server with its defaults and by nginx
# with the shipped configuration (server/nginx/kestrova.conf, in Debian's main
# configuration: one worker per core), both on 127.0.0.1, measured with ab in the same
# run, taking turns: requests a second on new connections (50 clients), and on kept-alive
# connections (200 clients) with their 99th percentile; then the servers' peak memory.
# New connections are also sent to a kestrova-server on one thread per core, for the
# choice of the default (one per core but one).
# Any failed or reset request fails the bench. ab's clients all come from one address,
# so the kept-alive case runs a second kestrova-server whose --per-address lets 200
# connections in (as for users behind one proxy); everything else is the defaults.
#
#   bench/server/compare.sh [BUILD_DIR]       (default: build)
#
# Environment: REQUESTS (default 100000) per measurement, RUNS (default 3), medians
# reported; BENCH_DIR (default $TMPDIR/kestrova-server-bench).
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build}
server=$(realpath "$build/bin/kestrova-server")
requests=${REQUESTS:-100000}
runs=${RUNS:-3}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/kestrova-server-bench}
nginx=$(command -v nginx || echo /usr/sbin/nginx)
for tool in "$server" "$nginx" ab; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
export LC_ALL=C

rm -rf "$work" && mkdir -p "$work/publish/Demo" "$work/nginx/logs"
printf '[release]\nversion=2.1\ndate=2009-05-04\n' > "$work/publish/Demo/release.ini"
printf '2.1;2009-05-04' > "$work/publish/Demo/version.txt"  # what kestrova-publish writes for nginx
ours_port=18180
nginx_port=18181
proxy_port=18182
single_port=18183
sed -e "s|listen 80;|listen 127.0.0.1:$nginx_port;|" -e "s|/srv/kestrova/publish|$work/publish|" \
    -e "s|/var/log/kestrova/completions.log|$work/nginx/logs/completions.log|" \
    server/nginx/kestrova.conf > "$work/nginx/kestrova.conf"
cat > "$work/nginx/nginx.conf" <<CONF
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log;
events { worker_connections 768; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  include $work/nginx/kestrova.conf;
}
CONF

"$server" --folder "$work/publish" --port $ours_port --log "$work/completions.log" \
  > "$work/ours.out" 2>/dev/null &
ours_pid=$!
"$server" --folder "$work/publish" --port $proxy_port --per-address 256 \
  --log "$work/completions-proxy.log" > "$work/proxy.out" 2>/dev/null &
proxy_pid=$!
"$server" --folder "$work/publish" --port $single_port --threads "$(nproc)" \
  --log "$work/completions-single.log" > "$work/single.out" 2>/dev/null &
single_pid=$!
"$nginx" -p "$work/nginx" -c "$work/nginx/nginx.conf" -g 'daemon off;' 2>"$work/nginx.err" &
nginx_pid=$!
trap 'kill $ours_pid $proxy_pid $single_pid $nginx_pid 2>/dev/null || true' EXIT
sleep 1
url() { echo "http://127.0.0.1:$1/update?appli_name=Demo&request=1"; }
for port in $ours_port $proxy_port $single_port $nginx_port; do
  [ "$(curl -s "$(url $port)")" = "2.1;2009-05-04" ] || { echo "port $port does not answer" >&2; exit 1; }
done

# bench LABEL PORT AB-OPTIONS...: appends "requests-per-second p99-ms" to $work/LABEL.
bench() {
  local label=$1 port=$2; shift 2
  ab -q "$@" -n "$requests" "$(url "$port")" > "$work/last.ab" 2>&1 || {
    echo "$label: ab failed" >&2; cat "$work/last.ab" >&2; exit 1; }
  local failed; failed=$(awk '/^Failed requests/ {print $3}' "$work/last.ab")
  [ "$failed" = 0 ] || { echo "$label: $failed failed requests" >&2; grep -A1 '^Failed' "$work/last.ab" >&2; exit 1; }
  awk '/^Requests per second/ {r=$4} /^  99%/ {p=$2} END {print r, p}' "$work/last.ab" >> "$work/$label"
}
median() { sort -n -k"$1","$1" "$2" | awk -v c="$1" '{v[NR]=$c} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

for ((run = 1; run <= runs; run++)); do
  echo "run $run/$runs" >&2
  for side in ours nginx; do
    port=$ours_port kept_port=$proxy_port
    [ $side = nginx ] && port=$nginx_port kept_port=$nginx_port
    bench "new-$side" $port -c 50
    bench "kept-$side" $kept_port -k -c 200
    [ $side = ours ] && bench "new-single" $single_port -c 50
  done
done
peak() { awk '/VmHWM/ {print $2}' /proc/"$1"/status; }
nginx_peak=0
for pid in $nginx_pid $(pgrep -P $nginx_pid); do nginx_peak=$((nginx_peak + $(peak "$pid"))); done

printf '%-36s %12s %12s %8s\n' "release checks, $(nproc) cores" kestrova nginx ratio
row() {  # row TEXT FILE-STEM COLUMN
  local a b; a=$(median "$3" "$work/$2-ours"); b=$(median "$3" "$work/$2-nginx")
  printf '%-36s %12s %12s %8s\n' "$1" "$a" "$b" "$(awk -v a="$a" -v b="$b" 'BEGIN {printf "%.2f", a / b}')"
}
row "new connections, 50 clients (req/s)" new 1
single=$(median 1 "$work/new-single")
printf '%-36s %12s %12s %8s\n' "  the same, kestrova on $(nproc) threads" "$single" "" \
  "$(awk -v a="$single" -v b="$(median 1 "$work/new-nginx")" 'BEGIN {printf "%.2f", a / b}')"
row "kept alive, 200 clients (req/s)" kept 1
row "kept alive, 200 clients (p99 ms)" kept 2
printf '%-36s %12s %12s\n' "peak memory (MB, nginx: all workers)" \
  "$(($(peak $ours_pid) / 1024))" "$((nginx_peak / 1024))"
