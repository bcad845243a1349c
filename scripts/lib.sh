# Shared by the entry-point scripts: package set-up and the build.
# shellcheck shell=bash

BUILD_PACKAGES=(g++ cmake ninja-build ccache pkg-config zlib1g-dev libdeflate-dev libcurl4-openssl-dev
  qt6-base-dev libxcb1-dev libgl-dev fonts-dejavu-core fonts-liberation2 libmicrohttpd-dev libssl-dev
  libgcrypt20-dev libcmark-dev ca-certificates)
TEST_PACKAGES=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
  zip unzip p7zip-full libarchive-tools python3 tinyproxy openssl default-jdk-headless
  dpkg-dev file nginx-light lintian pigz libdeflate-tools apache2-utils)
# The Windows build: the -posix MinGW-w64 compilers (std::thread), the libraries of the
# layers below the windows built for MinGW, GoogleTest's sources, and Wine to run it all.
# The 64-bit compilers and Wine run the tests on hosts that cannot run 32-bit programs.
# NSIS builds the setup program that `kestrova-publish installer` writes.
WINDOWS_PACKAGES=(g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix mingw-w64-i686-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  libz-mingw-w64-dev libgcrypt-mingw-w64-dev googletest cmake ninja-build ccache wine wine32:i386 wine64
  xvfb nsis)

# Adds the i386 architecture that the 32-bit Wine packages come from.
ensure_i386() {
  dpkg --print-foreign-architectures | grep -qx i386 && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo dpkg --add-architecture i386
}

# Installs the named Debian packages that are missing, without asking anything.
ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq </dev/null
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
}

# configure_and_build DIR [cmake options...] [-- targets...]
configure_and_build() {
  local dir=$1; shift
  local opts=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do opts+=("$1"); shift; done
  [ $# -gt 0 ] && shift && targets=("$@")
  cmake -S . -B "$dir" -G Ninja "${opts[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" --target "${targets[@]}"
  else
    cmake --build "$dir"
  fi
}

# stage NAME: ends the running stage with its duration and begins NAME. A script calls
# end_stage after its last stage.
stage_name=""
stage_start=0
stage() {
  end_stage
  stage_name=$1
  stage_start=$SECONDS
  echo "== $stage_name"
}
end_stage() {
  [ -n "$stage_name" ] || return 0
  local took=$((SECONDS - stage_start))
  echo "== $stage_name: $((took / 60))m$((took % 60))s"
  stage_name=""
}

# checked WHAT COMMAND...: runs a set-up step quietly; if it fails, says what failed and
# shows everything it printed. The output goes to a file, not a pipe, so that a daemon
# the step leaves behind (wineserver) cannot hold the caller up.
checked() {
  local what=$1; shift
  local log status=0
  log=$(mktemp "${TMPDIR:-/tmp}/kestrova-step.XXXXXX")
  "$@" >"$log" 2>&1 </dev/null || status=$?
  if [ "$status" -ne 0 ]; then
    echo "$what failed (exit $status): $*" >&2
    cat "$log" >&2
  fi
  rm -f "$log"
  return "$status"
}
