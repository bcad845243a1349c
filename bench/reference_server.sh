# Sourced by the benches that run a kestrova-server of their own.
# shellcheck shell=bash

# reference_server_url OUTPUT: the address the server writing OUTPUT listens on, once it
# has printed it; fails (and so ends a bench under set -e) when it never does.
reference_server_url() {
  for _ in $(seq 100); do grep -q http:// "$1" 2>/dev/null && break; sleep 0.05; done
  local url
  url=$(grep -o 'http://[0-9.:]*' "$1" | head -1)
  [ -n "$url" ] || { echo "the reference server did not start" >&2; return 1; }
  echo "$url"
}
