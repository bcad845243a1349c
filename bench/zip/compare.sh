#!/usr/bin/env bash
# Times kestrova-zip against the peer archivers on a folder shaped like an installed
# application (about 100 MB in thousands of files: executables, libraries, text,
# already-compressed files) copied from this machine in a fixed order, and checks that
# memory stays flat for one large file.
#
#   bench/zip/compare.sh [BUILD_DIR]       (default: build)
#
# Environment: RUNS (default 3) runs per tool, medians reported; BENCH_DIR (default
# $TMPDIR/kestrova-zip-bench) holds the folder and the archives; LARGE_MB (default 1024)
# is the size of the one-file case, 0 to leave it out. Nothing is pinned: kestrova-zip
# uses every core, the peers the one they can, and that is the comparison that counts.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build}
ours=$(realpath "$build/bin/kestrova-zip")
runs=${RUNS:-3}
large_mb=${LARGE_MB:-1024}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/kestrova-zip-bench}
app=$work/app
for tool in "$ours" zip unzip bsdtar python3 /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
export LC_ALL=C

# copy_budget SOURCE_DIR DEST_SUBDIR MEGABYTES [find tests...]: copies regular files in
# sorted order, skipping any larger than 8 MB, until the budget is spent.
copy_budget() {
  local source=$1 dest=$app/$2 budget=$(($3 << 20)); shift 3
  local used=0 size rel
  while IFS= read -r -d '' file; do
    size=$(stat -c %s "$file")
    ((size > (8 << 20))) && continue
    ((used + size > budget)) && break
    rel=${file#"$source"/}
    mkdir -p "$dest/$(dirname "$rel")"
    cp -p "$file" "$dest/$rel" 2>/dev/null || continue
    used=$((used + size))
  done < <(find "$source" -type f -readable "$@" -print0 2>/dev/null | sort -z)
}

make_app() {
  [ -f "$work/app.done" ] && return
  rm -rf "$app" && mkdir -p "$app"
  echo "building the application folder in $app ..." >&2
  copy_budget /usr/bin bin 25
  copy_budget /usr/lib/x86_64-linux-gnu lib 40 -name '*.so*'
  copy_budget /usr/share/doc doc 15
  copy_budget /usr/share/locale locale 15
  copy_budget /usr/share/icons images 5 \( -name '*.png' -o -name '*.svg' \)
  mkdir -p "$app/cache/empty" "$app/logs"
  touch "$work/app.done"
}

# make_large: one file of LARGE_MB, the application's bytes over and over, so it
# compresses like them and not like a run of zeros.
make_large() {
  local file=$work/large/data.bin
  [ -f "$file" ] && [ "$(stat -c %s "$file")" -eq $((large_mb << 20)) ] && return
  mkdir -p "$work/large"
  echo "generating a $large_mb MB file ..." >&2
  local rounds=$((large_mb / $(du -sm --apparent-size "$app" | cut -f1) + 1))
  for ((i = 0; i < rounds; i++)); do find "$app" -type f -print0 | sort -z | xargs -0 cat; done |
    head -c $((large_mb << 20)) > "$file" || true  # the rounds end on a broken pipe
  [ "$(stat -c %s "$file")" -eq $((large_mb << 20)) ] || { echo "cannot generate $file" >&2; exit 1; }
}

# measure LABEL COMMAND...: appends "wall-seconds peak-kilobytes cpu-seconds" of one run
# to $work/LABEL.times.
measure() {
  local label=$1; shift
  /usr/bin/time -f '%e %M %U %S' -o "$work/last.time" "$@" >/dev/null 2>"$work/last.err" || {
    echo "$label failed:" >&2; cat "$work/last.err" >&2; exit 1; }
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/last.time" >> "$work/$label.times"
}

median() {  # median of column $1 in file $2
  sort -n -k"$1","$1" "$2" | awk -v c="$1" '{v[NR]=$c} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'
}

# The compressed data of an archive: the sum of its entries' compressed sizes, which
# leaves out the headers whose size is the format's and not the compressor's.
data_size() {
  python3 -c 'import sys, zipfile; print(sum(i.compress_size for i in zipfile.ZipFile(sys.argv[1]).infolist()))' "$1"
}

py_add='import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for folder, subfolders, files in os.walk(sys.argv[2]):
        for name in sorted(subfolders + files):
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, sys.argv[2]))'
py_extract='import sys, zipfile
zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])'

add() {  # add TOOL ARCHIVE SOURCE_DIR
  local tool=$1 archive=$2 dir=$3
  rm -f "$archive"
  case $tool in
    kestrova-[0-9]) measure "add-$tool" "$ours" --level "${tool#kestrova-}" add "$archive" "$dir" '*.*' ;;
    zip-[0-9]) measure "add-$tool" sh -c 'cd "$1" && zip "-$3" -r -q "$2" .' - "$dir" "$archive" "${tool#zip-}" ;;
    python) measure "add-$tool" python3 -c "$py_add" "$archive" "$dir" ;;
    bsdtar) measure "add-$tool" sh -c 'cd "$1" && bsdtar --options zip:compression-level=9 -a -cf "$2" .' \
              - "$dir" "$archive" ;;
  esac
}

extract() {  # extract TOOL ARCHIVE OUT_DIR
  local tool=$1 archive=$2 out=$3
  rm -rf "$out" && mkdir -p "$out"
  case $tool in
    kestrova) measure "extract-$tool" "$ours" extract "$archive" "$out" ;;
    unzip) measure "extract-$tool" unzip -q "$archive" -d "$out" ;;
    bsdtar) measure "extract-$tool" bsdtar -xf "$archive" -C "$out" ;;
    python) measure "extract-$tool" python3 -c "$py_extract" "$archive" "$out" ;;
  esac
}

make_app
files=$(find "$app" -type f | wc -l)
megabytes=$(du -sm --apparent-size "$app" | cut -f1)
echo "application folder: $files files, $megabytes MB; $runs runs per tool on $(nproc) cores"
rm -f "$work"/*.times

add_tools=(kestrova-9 zip-9 kestrova-6 zip-6 kestrova-1 zip-1 python bsdtar)
extract_tools=(kestrova unzip bsdtar python)
for ((run = 1; run <= runs; run++)); do
  echo "run $run/$runs" >&2
  # The tools take turns within a run, so a slow phase of the machine hits them alike.
  for tool in "${add_tools[@]}"; do
    add "$tool" "$work/add-$tool.zip" "$app"
    stat -c %s "$work/add-$tool.zip" > "$work/add-$tool.size"
  done
  for tool in "${extract_tools[@]}"; do
    extract "$tool" "$work/add-kestrova-9.zip" "$work/out-$tool"
  done
done
for tool in "${add_tools[@]}"; do data_size "$work/add-$tool.zip" > "$work/add-$tool.data"; done

# Every extractor must have rebuilt the folder, and every peer must accept our archives,
# or the times mean nothing.
for tool in "${extract_tools[@]}"; do
  diff -rq "$app" "$work/out-$tool" >/dev/null || { echo "extract-$tool: tree differs from the source" >&2; exit 1; }
done
for level in 1 6 9; do
  unzip -tq "$work/add-kestrova-$level.zip" >/dev/null || { echo "unzip -t rejects level $level" >&2; exit 1; }
done

report() {  # report PHASE TOOLS...: each tool against the first
  local phase=$1; shift
  local first=$1
  printf '\n%-8s %-11s %8s %8s %9s %12s %12s %8s\n' "$phase" tool "wall s" "cpu s" "peak MB" "archive B" \
    "data B" "wall x"
  for tool in "$@"; do
    local size=- data=-
    [ "$phase" = add ] && size=$(cat "$work/add-$tool.size") && data=$(cat "$work/add-$tool.data")
    awk -v p="$phase" -v n="$tool" -v w="$(median 1 "$work/$phase-$tool.times")" \
        -v c="$(median 3 "$work/$phase-$tool.times")" -v m="$(median 2 "$work/$phase-$tool.times")" \
        -v s="$size" -v d="$data" -v w0="$(median 1 "$work/$phase-$first.times")" \
      'BEGIN { printf "%-8s %-11s %8.2f %8.2f %9.1f %12s %12s %8s\n", p, n, w, c, m / 1024, s, d,
               (w > 0 ? sprintf("%.3f", w0 / w) : "-") }'
  done
}
echo
echo "medians of $runs runs; wall x: the first tool's wall time / this tool's"
report add "${add_tools[@]}"
report extract "${extract_tools[@]}"

# The goals, on wall time in the same run: level 9 at most 0.3 x zip -9 with no more
# compressed data; levels 6 and 1 at most 0.5 x zip's; extraction at most 0.8 x unzip.
goal() {  # goal TEXT OURS PEER LIMIT
  awk -v t="$1" -v a="$2" -v b="$3" -v l="$4" \
    'BEGIN { printf "goal %-34s %9.2f vs %9.2f  (%.3f, limit %s)  %s\n", t, a, b, a / b, l, a <= l * b ? "met" : "MISSED" }'
}
echo
for level in 9 6 1; do
  limit=0.5; [ "$level" = 9 ] && limit=0.3
  goal "add -$level wall <= $limit x zip -$level" "$(median 1 "$work/add-kestrova-$level.times")" \
    "$(median 1 "$work/add-zip-$level.times")" "$limit"
done
goal "add -9 data <= zip -9 data" "$(cat "$work/add-kestrova-9.data")" "$(cat "$work/add-zip-9.data")" 1
goal "extract wall <= 0.8 x unzip" "$(median 1 "$work/extract-kestrova.times")" \
  "$(median 1 "$work/extract-unzip.times")" 0.8

((large_mb > 0)) || exit 0
make_large
echo
echo "one file of $large_mb MB, level 9, one run each"
rm -f "$work"/large-*.times "$work"/add-kestrova-9.times "$work"/extract-kestrova.times "$work"/extract-unzip.times
add kestrova-9 "$work/large.zip" "$work/large"
mv "$work/add-kestrova-9.times" "$work/large-add.times"
unzip -tq "$work/large.zip" >/dev/null || { echo "unzip -t rejects the large archive" >&2; exit 1; }
extract kestrova "$work/large.zip" "$work/large-out"
mv "$work/extract-kestrova.times" "$work/large-extract.times"
cmp -s "$work/large/data.bin" "$work/large-out/data.bin" || { echo "the large file extracts differently" >&2; exit 1; }
extract unzip "$work/large.zip" "$work/large-out"
mv "$work/extract-unzip.times" "$work/large-unzip.times"
rm -rf "$work/large-out"
for phase in add extract unzip; do
  read -r wall peak _ < "$work/large-$phase.times"
  awk -v p="$phase" -v w="$wall" -v m="$peak" \
    'BEGIN { printf "large %-8s %8.2f s %8.1f MB peak  %s\n", p, w, m / 1024, (p == "unzip" || m < 65536) ? "" : "MISSED 64 MB" }'
done
