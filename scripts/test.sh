#!/usr/bin/env bash
# Builds the project and runs the whole test suite: the normal build, its Debian
# packages installed into a throw-away root, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, the thread hand-over under
# ThreadSanitizer, short libFuzzer runs, and then the Windows build with its tests
# under Wine (scripts/test-windows.sh). Installs missing Debian packages first.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
ensure_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}"

jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen
export CTEST_OUTPUT_ON_FAILURE=1

stage "build"
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
stage "tests"
ctest --test-dir build -j "$jobs" --timeout 300

stage "Debian packages"
scripts/check_packages.sh build

stage "tests under AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_SANITIZE=address,undefined
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
  ctest --test-dir build-asan -j "$jobs" --timeout 600 -LE 'no-asan'

stage "thread hand-over and background fetches under ThreadSanitizer"
# These cases need no windows: the toolkit and the benchmarks stay out of this build.
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DKESTROVA_SANITIZE=thread \
  -DKESTROVA_GUI=OFF -DKESTROVA_BENCH=OFF -- base_tests net_tests app_net_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -j "$jobs" --timeout 300 \
  -R '^(Threads|Fetcher|Internet|ReleaseCheck)'

stage "fuzzing (bounded)"
configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTROVA_TESTS=OFF \
  -DKESTROVA_GUI=OFF -DKESTROVA_BENCH=OFF -DKESTROVA_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -- fuzzers
for f in build-fuzz/bin/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=tests/data/fuzz/${name#fuzz_}
  echo "-- $name"
  "$f" -max_total_time="${FUZZ_SECONDS:-30}" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 "$corpus" $( [ -d "$seeds" ] && echo "$seeds") 2>&1 | tail -n 3
done
stage "the Windows build and its tests under Wine"
scripts/test-windows.sh
end_stage
echo "All test stages passed."
