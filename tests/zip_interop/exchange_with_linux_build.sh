#!/usr/bin/env bash
# Archives pass between the Linux and the Windows kestrova-zip both ways: every file
# comes back byte for byte, with its last-write time (even seconds, so that DOS
# precision keeps it exactly) and its read-only state, which Windows keeps as an
# attribute and Linux as a mode.
#   exchange_with_linux_build.sh LINUX_KESTROVA_ZIP WINDOWS_KESTROVA_ZIP_EXE
# Runs the .exe with $KESTROVA_WINE (default: wine). Exit 77 (skipped) without the
# Linux build.
set -euo pipefail

linux_zip=$1
windows_zip=$2
wine=${KESTROVA_WINE:-wine}
if [[ ! -x $linux_zip ]]; then
  echo "SKIPPED: no Linux kestrova-zip at $linux_zip; build the Linux build first" \
       "or set KESTROVA_LINUX_BIN_DIR"
  exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrova-exchange.XXXXXX")
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT

fail() { echo "FAILED: $*" >&2; exit 1; }
# Wine shows the Unix root as drive Z:.
windows_path() { echo "Z:$1"; }

make_tree() {
  local root=$1
  mkdir -p "$root/bin" "$root/docs/empty folder" "$root/gr$(printf '\xc3\xbc')n/$(printf '\xe6\x97\xa5')"
  printf 'plain text\r\n' > "$root/docs/readme.txt"
  : > "$root/docs/empty.txt"
  head -c 300000 /dev/urandom > "$root/bin/program.bin"
  seq 1 50000 > "$root/gr$(printf '\xc3\xbc')n/$(printf '\xe6\x97\xa5')/numbers $(printf '\xf0\x9f\x98\x80').txt"
  printf 'do not change\n' > "$root/docs/locked.txt"
  find "$root" -type f -exec touch -d '2021-03-04 05:06:08' {} +
  touch -d '2023-07-08 09:10:12' "$root/bin/program.bin"
  chmod a-w "$root/docs/locked.txt"
}

# Relative path, type, last-write time and whether anyone may write, for each file.
describe() {
  (cd "$1" && find . -mindepth 1 -type f -printf '%p %Y %T@ ' -exec sh -c \
      'if [ "$(( 0$(stat -c %a "$1") & 0222 ))" -eq 0 ]; then echo ro; else echo rw; fi' _ {} \; |
    sed 's/\.0000000000 / /' | LC_ALL=C sort)
}

compare() {
  local from=$1 to=$2 what=$3
  diff -r "$from" "$to" > "$work/diff" || fail "$what: contents differ: $(cat "$work/diff")"
  diff <(describe "$from") <(describe "$to") > "$work/diff" ||
    fail "$what: times or read-only state differ: $(cat "$work/diff")"
}

make_tree "$work/source"

# Linux writes, Windows extracts.
"$linux_zip" add "$work/linux.zip" "$work/source" '*.*' > /dev/null
"$wine" "$windows_zip" extract "$(windows_path "$work/linux.zip")" \
  "$(windows_path "$work/on-windows")" > /dev/null 2>&1 || fail "the Windows build could not extract the Linux archive"
compare "$work/source" "$work/on-windows" "Linux to Windows"

# Windows writes, Linux extracts; the entries carry Windows attributes, no Unix mode.
"$wine" "$windows_zip" add "$(windows_path "$work/windows.zip")" "$(windows_path "$work/source")" '*.*' \
  > /dev/null 2>&1 || fail "the Windows build could not write the archive"
"$linux_zip" extract "$work/windows.zip" "$work/on-linux" > /dev/null
compare "$work/source" "$work/on-linux" "Windows to Linux"
"$linux_zip" list "$work/windows.zip" | grep -q -- '-r--r--r-- .*docs/locked.txt' ||
  fail "the Windows archive does not mark docs/locked.txt read-only: $("$linux_zip" list "$work/windows.zip")"

echo "archives pass both ways between the Linux and the Windows build"
