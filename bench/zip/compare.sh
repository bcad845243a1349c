#!/usr/bin/env bash
# Times kestrova-zip against the peer archivers on a folder shaped like an installed
# application (about 100 MB in thousands of files: executables, libraries, text,
# already-compressed files) copied from this machine in a fixed order; one large file
# against pigz on every core and against libdeflate's limit (the file in one piece per
# core, each through libdeflate-gzip at once), with memory that stays flat; 100,000
# small files, past the 65,535 entries of a ZIP without Zip64; and, when asked, one file
# of several GB, past 4 GiB.
#
#   bench/zip/compare.sh [BUILD_DIR]       (default: build)
#
# Environment: RUNS (default 3) runs per tool, medians reported; BENCH_DIR (default
# $TMPDIR/kestrova-zip-bench) holds the folder and the archives; LARGE_MB (default 100)
# is the size of the one-file case, MANY_FILES (default 100000) the count of the
# small-file case, HUGE_GB (default 0) the size of the file past 4 GiB; 0 leaves a case
# out. Nothing is pinned: kestrova-zip uses every core, the peers the one they can, and
# that is the comparison that counts.
#
# Extraction goes to a journaled file system: this machine's root file system has no
# journal, and creating files there after many deletions is many times slower, which
# would distort every extraction timing. JOURNAL_DIR names a folder on one; otherwise,
# as root, the script mounts an ext4 image file of its own (JOURNAL_MB, default 3072)
# and says so; failing both it extracts into BENCH_DIR and warns.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=${1:-build}
ours=$(realpath "$build/bin/kestrova-zip")
runs=${RUNS:-3}
large_mb=${LARGE_MB:-100}
many_files=${MANY_FILES:-100000}
huge_gb=${HUGE_GB:-0}
work=${BENCH_DIR:-${TMPDIR:-/tmp}/kestrova-zip-bench}
app=$work/app
cores=$(nproc)
for tool in "$ours" zip unzip 7z bsdtar python3 pigz libdeflate-gzip /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
export LC_ALL=C

# find_journaled: sets journaled to a folder on a file system with a journal.
mounted=""
find_journaled() {
  journaled=${JOURNAL_DIR:-}
  [ -n "$journaled" ] && return
  local image=$work/journaled.img mount=$work/journaled
  mkdir -p "$mount"
  journaled=$mount
  mountpoint -q "$mount" && return
  # One inode per 8 KiB: the small-file case holds two copies of its files at once.
  if [ "$(id -u)" -eq 0 ] && truncate -s "${JOURNAL_MB:-3072}M" "$image" &&
      mkfs.ext4 -q -F -i 8192 "$image" && mount -o loop "$image" "$mount"; then
    mounted=$mount
    return
  fi
  echo "warning: no journaled file system; extraction timings are distorted" >&2
  journaled=$work
}

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
find_journaled
out_root=$journaled/kestrova-zip-bench-out
mkdir -p "$out_root"
trap '[ -z "$mounted" ] || umount "$mounted"' EXIT
echo "extracting into $out_root ($(findmnt -n -o FSTYPE --target "$out_root"))"
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
    extract "$tool" "$work/add-kestrova-9.zip" "$out_root/out-$tool"
  done
done
for tool in "${add_tools[@]}"; do data_size "$work/add-$tool.zip" > "$work/add-$tool.data"; done

# Every extractor must have rebuilt the folder, and every peer must accept our archives,
# or the times mean nothing.
for tool in "${extract_tools[@]}"; do
  diff -rq "$app" "$out_root/out-$tool" >/dev/null || { echo "extract-$tool: tree differs from the source" >&2; exit 1; }
  rm -rf "$out_root/out-$tool"
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

# The large file: levels 6 and 9 against pigz on every core and against libdeflate's
# limit, taking turns; then its extraction against unzip, and libdeflate-gunzip on the
# pieces at once as the limit of inflating it.
if ((large_mb > 0)); then
  make_large
  large=$work/large/data.bin
  rm -f "$work"/large/piece.*
  split -n "$cores" -d "$large" "$work/large/piece."
  rm -f "$work"/large-*.times "$work"/large-*.data "$work"/extract-*.times
  large_tools=(kestrova-6 pigz-6 libdeflate-6 kestrova-9 pigz-9 libdeflate-9)
  for ((run = 1; run <= runs; run++)); do
    for tool in "${large_tools[@]}"; do
      level=${tool##*-}
      case $tool in
        kestrova-*) rm -f "$work/large.zip"
          measure "large-$tool" "$ours" --level "$level" add "$work/large.zip" "$work/large" data.bin
          data_size "$work/large.zip" > "$work/large-$tool.data" ;;
        pigz-*) measure "large-$tool" pigz "-$level" -p "$cores" -k -f "$large"
          # gzip's header and trailer are 18 bytes and the name.
          echo $(($(stat -c %s "$large.gz") - 27)) > "$work/large-$tool.data" ;;
        libdeflate-*) measure "large-$tool" sh -c 'ls "$1"/piece.?? | xargs -P "$2" -n 1 libdeflate-gzip -k -f "-$3"' \
              - "$work/large" "$cores" "$level"
          cat "$work"/large/piece.*.gz | wc -c | awk '{print $1 - 18 * '"$cores"'}' > "$work/large-$tool.data" ;;
      esac
    done
  done
  rm -f "$work/large.zip"
  "$ours" --level 6 add "$work/large.zip" "$work/large" data.bin >/dev/null
  unzip -tq "$work/large.zip" >/dev/null || { echo "unzip -t rejects the large archive" >&2; exit 1; }
  for ((run = 1; run <= runs; run++)); do
    extract kestrova "$work/large.zip" "$out_root/large-out"
    cmp -s "$large" "$out_root/large-out/data.bin" || { echo "the large file extracts differently" >&2; exit 1; }
    extract unzip "$work/large.zip" "$out_root/large-out"
    measure "large-inflate-limit" sh -c 'ls "$1"/piece.??.gz | xargs -P "$2" -n 1 libdeflate-gunzip -c > /dev/null' \
      - "$work/large" "$cores"
  done
  rm -rf "$out_root/large-out" "$work"/large/piece.* "$large.gz"
  echo
  echo "one file of $large_mb MB, medians of $runs runs; data: compressed bytes without headers"
  printf '%-18s %8s %8s %9s %12s\n' tool "wall s" "cpu s" "peak MB" "data B"
  for tool in "${large_tools[@]}" extract-kestrova extract-unzip inflate-limit; do
    file=$work/large-$tool.times data=-
    case $tool in extract-*) file=$work/$tool.times ;; esac
    [ -f "$work/large-$tool.data" ] && data=$(cat "$work/large-$tool.data")
    awk -v n="$tool" -v w="$(median 1 "$file")" -v c="$(median 3 "$file")" -v m="$(median 2 "$file")" -v d="$data" \
      'BEGIN { printf "%-18s %8.2f %8.2f %9.1f %12s\n", n, w, c, m / 1024, d }'
  done
  echo
  for level in 6 9; do
    goal "large -$level wall <= 0.6 x pigz -$level -p $cores" "$(median 1 "$work/large-kestrova-$level.times")" \
      "$(median 1 "$work/large-pigz-$level.times")" 0.6
    goal "large -$level data <= 1.02 x pigz's" "$(cat "$work/large-kestrova-$level.data")" \
      "$(cat "$work/large-pigz-$level.data")" 1.02
  done
  goal "large add peak <= 64 MB" "$(median 2 "$work/large-kestrova-6.times")" 65536 1
  goal "large extract peak <= 64 MB" "$(median 2 "$work/extract-kestrova.times")" 65536 1
fi

# check_with_peers ARCHIVE: Info-ZIP, 7-Zip and python's zipfile must accept it whole.
check_with_peers() {
  unzip -tq "$1" >/dev/null || { echo "unzip -t rejects $1" >&2; exit 1; }
  7z t "$1" >/dev/null || { echo "7z t rejects $1" >&2; exit 1; }
  python3 -c 'import sys, zipfile; sys.exit(zipfile.ZipFile(sys.argv[1]).testzip())' "$1" ||
    { echo "python's zipfile rejects $1" >&2; exit 1; }
}

# Many small files, more than a ZIP holds without Zip64: made on the journaled file
# system, added at level 6 by us and zip, extracted by us, unzip and bsdtar.
if ((many_files > 0)); then
  many=$out_root/many
  if [ ! -f "$out_root/many.done" ] || [ "$(cat "$out_root/many.done")" != "$many_files" ]; then
    echo "making $many_files small files ..." >&2
    rm -rf "$many"
    python3 - "$many" "$many_files" "$app" <<'PY'
import os, sys
root, count, app = sys.argv[1], int(sys.argv[2]), sys.argv[3]
texts = []
for folder, _, names in os.walk(os.path.join(app, "doc")):
    for name in sorted(names):
        with open(os.path.join(folder, name), "rb") as f:
            texts.append(f.read(4096))
for i in range(count):
    folder = os.path.join(root, "d%03d" % (i // 1000))
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "f%06d.txt" % i), "wb") as f:
        f.write(texts[i % len(texts)][: 200 + i % 3000])
PY
    echo "$many_files" > "$out_root/many.done"
  fi
  rm -f "$work"/many-*.times
  for ((run = 1; run <= runs; run++)); do
    rm -f "$work/many-ours.zip" "$work/many-zip.zip"
    measure many-add-kestrova "$ours" --level 6 add "$work/many-ours.zip" "$many" '*.*'
    measure many-add-zip sh -c 'cd "$1" && zip -6 -r -q "$2" .' - "$many" "$work/many-zip.zip"
    for tool in kestrova unzip bsdtar; do
      rm -f "$work/extract-$tool.times"
      extract "$tool" "$work/many-ours.zip" "$out_root/many-out"
      cat "$work/extract-$tool.times" >> "$work/many-extract-$tool.times"
      diff -rq "$many" "$out_root/many-out" >/dev/null || { echo "many: $tool extracts differently" >&2; exit 1; }
    done
  done
  rm -rf "$out_root/many-out"
  check_with_peers "$work/many-ours.zip"
  echo
  echo "$many_files small files, medians of $runs runs (all checked by unzip -t, 7z t, python)"
  printf '%-18s %8s %8s %9s %10s\n' tool "wall s" "cpu s" "peak MB" "us a file"
  for tool in add-kestrova add-zip extract-kestrova extract-unzip extract-bsdtar; do
    file=$work/many-$tool.times
    awk -v n="$tool" -v w="$(median 1 "$file")" -v c="$(median 3 "$file")" -v m="$(median 2 "$file")" -v f="$many_files" \
      'BEGIN { printf "%-18s %8.2f %8.2f %9.1f %10.1f\n", n, w, c, m / 1024, w * 1e6 / f }'
  done
fi

# A file past 4 GiB, made of the application's bytes: added at level 1, checked by the
# peers, extracted back by us. One run; it takes minutes.
if ((huge_gb > 0)); then
  huge=$work/huge/data.bin
  mkdir -p "$work/huge"
  if [ ! -f "$huge" ] || [ "$(stat -c %s "$huge")" -ne $((huge_gb << 30)) ]; then
    echo "generating a $huge_gb GB file ..." >&2
    for ((i = 0; i <= huge_gb * 1024 / megabytes; i++)); do find "$app" -type f -print0 | sort -z | xargs -0 cat; done |
      head -c $((huge_gb << 30)) > "$huge" || true
  fi
  rm -f "$work/huge.zip" "$work"/huge-*.times
  measure huge-add "$ours" --level 1 add "$work/huge.zip" "$work/huge" data.bin
  check_with_peers "$work/huge.zip"
  # One file: the journal makes no difference, and the mounted image is too small.
  mkdir -p "$work/huge-out"
  measure huge-extract "$ours" extract "$work/huge.zip" "$work/huge-out"
  cmp -s "$huge" "$work/huge-out/data.bin" || { echo "the huge file extracts differently" >&2; exit 1; }
  rm -rf "$work/huge-out" "$work/huge.zip"
  echo
  echo "the archive of the $huge_gb GB file passed unzip -t, 7z t and python; it extracted identically"
  for phase in add extract; do
    read -r wall peak cpu < "$work/huge-$phase.times"
    echo "one file of $huge_gb GB, $phase: $wall s wall, $cpu s cpu, $((peak / 1024)) MB peak"
  done
fi
