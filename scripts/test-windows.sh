#!/usr/bin/env bash
# Builds the Windows programs (32-bit, static, one .exe each) with MinGW-w64 and runs
# their tests under Wine in a throw-away Wine prefix. Installs missing packages first.
#
#   scripts/test-windows.sh [BUILD_DIR]      (default: build-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
ensure_i386
ensure_packages "${WINDOWS_PACKAGES[@]}" "${BUILD_PACKAGES[@]}"

build=${1:-build-windows}
echo "== Windows build"
configure_and_build "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
  -DCMAKE_BUILD_TYPE=Release

echo "== Windows tests under Wine"
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-wine.XXXXXX")
export WINEPREFIX WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stop_wine() { wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"; }
trap stop_wine EXIT
wineboot --init >/dev/null 2>&1
# One persistent server for the whole run: otherwise every test program starts and
# stops its own, which costs seconds per test.
wineserver --persistent
ctest --test-dir "$build" -j "$(nproc)" --timeout 300 --output-on-failure
