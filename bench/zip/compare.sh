#!/usr/bin/env bash
# Times kestrova-zip against the peer archivers on one core, on a folder shaped like an
# installed application (about 100 MB in thousands of files: executables, libraries,
# text, already-compressed files) copied from this machine in a fixed order.
#
#   bench/zip/compare.sh [BUILD_DIR]       (default: build)
#
# Environment: RUNS (default 5) runs per tool, medians reported; BENCH_DIR (default
# $TMPDIR/kestrova-zip-bench) holds the folder and the archives; CORE (default 0) is the
# core every command is pinned to.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build}
ours=$(realpath "$build/bin/kestrova-zip")
runs=${RUNS:-5}
core=${CORE:-0}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/kestrova-zip-bench}
app=$work/app
for tool in "$ours" zip unzip bsdtar python3 taskset /usr/bin/time; do
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
  mkdir -p "$app/cache/empty" "$app/logs"
  touch "$work/app.done"
}

# measure LABEL COMMAND...: appends "wall-seconds peak-kilobytes cpu-seconds" of one
# pinned run to $work/LABEL.times. The core is shared with whatever else runs, so the
# CPU time (user + system) is the steadier measure; wall time is shown beside it.
measure() {
  local label=$1; shift
  /usr/bin/time -f '%e %M %U %S' -o "$work/last.time" taskset -c "$core" "$@" >/dev/null 2>"$work/last.err" || {
    echo "$label failed:" >&2; cat "$work/last.err" >&2; exit 1; }
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$work/last.time" >> "$work/$label.times"
}

median() {  # median of column $1 in file $2
  sort -n -k"$1","$1" "$2" | awk -v c="$1" '{v[NR]=$c} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'
}

py_add='import os, sys, zipfile
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for folder, subfolders, files in os.walk(sys.argv[2]):
        for name in sorted(subfolders + files):
            path = os.path.join(folder, name)
            z.write(path, os.path.relpath(path, sys.argv[2]))'
py_extract='import sys, zipfile
zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])'

make_app
files=$(find "$app" -type f | wc -l)
megabytes=$(du -sm --apparent-size "$app" | cut -f1)
echo "application folder: $files files, $megabytes MB; $runs runs per tool, pinned to core $core"
rm -f "$work"/*.times

add_tools=(kestrova zip python bsdtar)
extract_tools=(kestrova unzip bsdtar python)
for ((run = 1; run <= runs; run++)); do
  echo "run $run/$runs" >&2
  # The tools take turns within a run, so a slow phase of the machine hits them alike.
  for tool in "${add_tools[@]}"; do
    archive=$work/add-$tool.zip
    rm -f "$archive"
    case $tool in
      kestrova) measure "add-$tool" "$ours" --level 9 add "$archive" "$app" '*.*' ;;
      zip) measure "add-$tool" sh -c 'cd "$1" && zip -9 -r -q "$2" .' - "$app" "$archive" ;;
      python) measure "add-$tool" python3 -c "$py_add" "$archive" "$app" ;;
      bsdtar) measure "add-$tool" sh -c 'cd "$1" && bsdtar --options zip:compression-level=9 -a -cf "$2" .' \
                - "$app" "$archive" ;;
    esac
    stat -c %s "$archive" > "$work/add-$tool.size"
  done
  for tool in "${extract_tools[@]}"; do
    out=$work/out-$tool
    rm -rf "$out" && mkdir -p "$out"
    archive=$work/add-kestrova.zip
    case $tool in
      kestrova) measure "extract-$tool" "$ours" extract "$archive" "$out" ;;
      unzip) measure "extract-$tool" unzip -q "$archive" -d "$out" ;;
      bsdtar) measure "extract-$tool" bsdtar -xf "$archive" -C "$out" ;;
      python) measure "extract-$tool" python3 -c "$py_extract" "$archive" "$out" ;;
    esac
  done
done

# Every extractor must have rebuilt the folder, or its time means nothing.
for tool in "${extract_tools[@]}"; do
  diff -rq "$app" "$work/out-$tool" >/dev/null || { echo "extract-$tool: tree differs from the source" >&2; exit 1; }
done

report() {  # report PHASE TOOLS...
  local phase=$1; shift
  local w0 c0 m0 s0 w c m s
  w0=$(median 1 "$work/$phase-kestrova.times"); m0=$(median 2 "$work/$phase-kestrova.times")
  c0=$(median 3 "$work/$phase-kestrova.times")
  [ "$phase" = add ] && s0=$(cat "$work/add-kestrova.size")
  printf '\n%-8s %-9s %8s %8s %9s %12s %8s %8s %8s %8s\n' "$phase" tool "wall s" "cpu s" "peak MB" "size B" \
    "wall x" "cpu x" "mem x" "size x"
  for tool in "$@"; do
    w=$(median 1 "$work/$phase-$tool.times"); m=$(median 2 "$work/$phase-$tool.times")
    c=$(median 3 "$work/$phase-$tool.times")
    s=-; [ "$phase" = add ] && s=$(cat "$work/add-$tool.size")
    awk -v p="$phase" -v n="$tool" -v w="$w" -v c="$c" -v m="$m" -v s="$s" -v w0="$w0" -v c0="$c0" \
        -v m0="$m0" -v s0="${s0:-}" \
      'function ratio(a, b) { return b > 0 ? sprintf("%.3f", a / b) : "-" }
       BEGIN { printf "%-8s %-9s %8.2f %8.2f %9.1f %12s %8s %8s %8s %8s\n", p, n, w, c, m / 1024, s,
               ratio(w0, w), ratio(c0, c), ratio(m0, m), (s0 == "" ? "-" : sprintf("%.4f", s0 / s)) }'
  done
}
echo
echo "medians of $runs runs; the x columns are ours / peer (below 1: we are faster, smaller)"
report add "${add_tools[@]}"
report extract "${extract_tools[@]}"

# The goals: add at level 9 no slower than the fastest peer with an archive at most 1%
# larger than the smallest peer's; extract no slower than unzip. Judged on CPU time.
echo
awk -v ours="$(median 3 "$work/add-kestrova.times")" -v size="$(cat "$work/add-kestrova.size")" \
    -v zt="$(median 3 "$work/add-zip.times")" -v pt="$(median 3 "$work/add-python.times")" \
    -v bt="$(median 3 "$work/add-bsdtar.times")" -v zs="$(cat "$work/add-zip.size")" \
    -v ps="$(cat "$work/add-python.size")" -v bs="$(cat "$work/add-bsdtar.size")" \
    -v et="$(median 3 "$work/extract-kestrova.times")" -v ut="$(median 3 "$work/extract-unzip.times")" '
  function min(a, b) { return a < b ? a : b }
  BEGIN {
    fastest = min(zt, min(pt, bt)); smallest = min(zs, min(ps, bs))
    printf "goal add cpu    <= fastest peer:       %.2f s vs %.2f s  %s\n", ours, fastest, ours <= fastest ? "met" : "MISSED"
    printf "goal add size   <= 1.01 x smallest:    %d vs %d (%.4f)  %s\n", size, smallest, size / smallest, size <= 1.01 * smallest ? "met" : "MISSED"
    printf "goal extract cpu <= unzip:             %.2f s vs %.2f s  %s\n", et, ut, et <= ut ? "met" : "MISSED"
  }'
