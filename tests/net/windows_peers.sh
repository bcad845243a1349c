#!/usr/bin/env bash
# Starts or stops the broker of the Windows network tests' Linux peers.
#
#   tests/net/windows_peers.sh start LINUX_BIN_DIR   prints KESTROVA_PEERS=127.0.0.1:PORT
#   tests/net/windows_peers.sh stop
#
# LINUX_BIN_DIR holds the Linux build's kestrova-server. The broker's state lives in
# ${TMPDIR:-/tmp}/kestrova-peers.<user>.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
state=${TMPDIR:-/tmp}/kestrova-peers.$(id -u)

case ${1:-} in
  start)
    bin=${2:?"usage: $0 start LINUX_BIN_DIR"}
    [ -x "$bin/kestrova-server" ] || { echo "no kestrova-server in $bin" >&2; exit 1; }
    "$0" stop
    mkdir -p "$state"
    rm -f "$state/port"
    nohup python3 "$here/windows_peers.py" --bin "$bin" --port-file "$state/port" \
      >"$state/log" 2>&1 </dev/null &
    echo $! >"$state/pid"
    for _ in $(seq 100); do
      [ -s "$state/port" ] && break
      sleep 0.1
    done
    [ -s "$state/port" ] || { echo "the peer broker did not start:" >&2; cat "$state/log" >&2; exit 1; }
    echo "KESTROVA_PEERS=127.0.0.1:$(cat "$state/port")"
    ;;
  stop)
    if [ -s "$state/pid" ]; then
      kill "$(cat "$state/pid")" 2>/dev/null || true
      rm -f "$state/pid" "$state/port"
    fi
    ;;
  *)
    echo "usage: $0 start LINUX_BIN_DIR | stop" >&2
    exit 2
    ;;
esac
