#!/usr/bin/env bash
# Builds the Windows programs (32-bit, static, one .exe each) with MinGW-w64 and runs
# their tests under Wine in a throw-away Wine prefix. Installs missing packages first.
#
#   scripts/test-windows.sh [ctest options...]    e.g. -R 'WholeUpgrade|setup_program'
#
# The tests run on the 32-bit build where the host can run 32-bit programs (and so the
# 32-bit Wine). Where it cannot, the 32-bit programs are built all the same, without
# their tests, and the tests run on a 64-bit build of the same tree under the 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
ensure_i386
ensure_packages "${WINDOWS_PACKAGES[@]}" "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
jobs=$(nproc)

# The Wine comes first: its architecture is fixed when its prefix is made, and every
# step that runs Wine must see the same prefix and architecture.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  bits=32
  export WINEARCH=win32 KESTROVA_WINE=wine
  wineserver=wineserver
else
  bits=64
  export WINEARCH=win64 KESTROVA_WINE=$PWD/cmake/wine64 WINELOADER=/usr/lib/wine/wine64
  wineserver=/usr/lib/wine/wineserver64
fi
tests=build-windows
[ "$bits" = 64 ] && tests=build-windows64
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-wine.XXXXXX")
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

xvfb_pid=""
peers_started=""
stop_all() {
  [ -z "$peers_started" ] || tests/net/windows_peers.sh stop || true
  WINESERVER=$wineserver "$wineserver" -k 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$WINEPREFIX.xvfb.log"
}
trap stop_all EXIT

stage "the $bits-bit Wine prefix, on a virtual screen"
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
checked "Starting the $bits-bit wineserver" "$wineserver" --persistent
checked "Making the $bits-bit Wine prefix $WINEPREFIX" "$KESTROVA_WINE" wineboot --init
# Windows the window manager does not manage: without one (Xvfb) Wine would wait
# seconds for it at every hide.
checked "Setting up Wine's X11 driver" \
  "$KESTROVA_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f

stage "the Linux programs the Windows tests exchange with"
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo -- kestrova-zip kestrova-server kestrova-publish

windows_build() {  # DIR PROCESSOR [cmake options...]
  local dir=$1 processor=$2; shift 2
  configure_and_build "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-"$processor".cmake \
    -DCMAKE_BUILD_TYPE=Release -DKESTROVA_LINUX_BIN_DIR="$PWD/build/bin" "$@"
}
if [ "$bits" = 32 ]; then
  stage "the 32-bit Windows build with its tests"
  windows_build build-windows i686
else
  stage "the 32-bit Windows build (this host runs no 32-bit programs, so without tests)"
  windows_build build-windows i686 -DKESTROVA_TESTS=OFF
  stage "the 64-bit Windows build for the tests"
  windows_build build-windows64 x86_64
fi

stage "the $bits-bit build's tests under the $bits-bit Wine"
peers=$(tests/net/windows_peers.sh start "$PWD/build/bin")
peers_started=1
export "${peers?}"
ctest --test-dir "$tests" -j "$jobs" --timeout 300 --output-on-failure "$@"
end_stage
echo "The $bits-bit Windows build's tests passed under the $bits-bit Wine."
