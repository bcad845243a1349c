#!/usr/bin/env bash
# Builds the Windows programs (32-bit, static, one .exe each) with MinGW-w64 and runs
# their tests under Wine in a throw-away Wine prefix. Installs missing packages first.
#
#   scripts/test-windows.sh
#
# The tests run on the 32-bit build where the host can run 32-bit programs (and so the
# 32-bit Wine). Where it cannot, the 32-bit programs are built all the same, and the
# tests run on a 64-bit build of the same tree under the 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
ensure_i386
ensure_packages "${WINDOWS_PACKAGES[@]}" "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
jobs=$(nproc)

echo "== the Linux programs the Windows tests exchange with"
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -- kestrova-zip kestrova-server

windows_build() {  # DIR PROCESSOR [cmake options...]
  local dir=$1 processor=$2; shift 2
  configure_and_build "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-"$processor".cmake \
    -DCMAKE_BUILD_TYPE=Release -DKESTROVA_LINUX_BIN_DIR="$PWD/build/bin" "$@"
}

WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "== Windows build (32-bit)"
  windows_build build-windows i686
  tests=build-windows
  export WINEARCH=win32 KESTROVA_WINE=wine
  wineserver=wineserver
else
  echo "== Windows build (32-bit; this host runs no 32-bit programs, so no tests)"
  windows_build build-windows i686 -DKESTROVA_TESTS=OFF
  echo "== Windows build (64-bit) for the tests"
  windows_build build-windows64 x86_64
  tests=build-windows64
  export WINEARCH=win64 KESTROVA_WINE=$PWD/cmake/wine64 WINELOADER=/usr/lib/wine/wine64
  wineserver=/usr/lib/wine/wineserver64
fi

echo "== Windows tests under Wine, on a virtual screen"
xvfb_pid=""
stop_all() {
  tests/net/windows_peers.sh stop || true
  WINESERVER=$wineserver "$wineserver" -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$WINEPREFIX.xvfb.log"
}
trap stop_all EXIT
# The windows' tests and the whole upgrade need a screen; -displayfd picks a free one.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1024x768x24 -nolisten tcp >"$WINEPREFIX.xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 10 -u "$display_fd" display_number ||
  { echo "Xvfb did not start:" >&2; cat "$WINEPREFIX.xvfb.log" >&2; exit 1; }
exec {display_fd}<&-
export DISPLAY=:$display_number
# One persistent server for the whole run, started before anything else (a second
# server refuses to start beside one already running): otherwise every test program
# starts and stops its own, which costs seconds per test.
"$wineserver" --persistent
"$KESTROVA_WINE" wineboot --init >/dev/null 2>&1
# Windows the window manager does not manage: without one (Xvfb) Wine would wait
# seconds for it at every hide.
"$KESTROVA_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
peers=$(tests/net/windows_peers.sh start "$PWD/build/bin")
export "${peers?}"
ctest --test-dir "$tests" -j "$jobs" --timeout 300 --output-on-failure
