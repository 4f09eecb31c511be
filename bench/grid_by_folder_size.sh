#!/usr/bin/env bash
# The plain grid's first load and one page forward (B) in folders of 80, 1,000, 20,000 and
# 100,000 small photos (640 x 480 JPEGs), with the peak memory of each, against vipsthumbnail
# making the same thumbnails (the folder's first 80 files, then the next 80, as a load and a
# page draw them) in the same folders, in turns; each time is the median of ROUNDS rounds (3).
# Target: the grid's load, its page and its memory the same at 100,000 files as at 80 (within
# the rounds' spread), as vipsthumbnail's are.
#   usage: bench/grid_by_folder_size.sh [BUILD_DIR]   (default build/release; needs libvips-tools)
#   SIZES="80 1000" shortens a run; FOLDER=DIR keeps the folders made (they take little room:
#   84 photos of their own, the rest hard links to them).
set -euo pipefail
build=${1:-build/release}
bench=$build/bench/bench_preview
[ -x "$bench" ] || { echo "no $bench; build first" >&2; exit 2; }
command -v vipsthumbnail >/dev/null || { echo "vipsthumbnail (libvips-tools) is the peer" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time (the time package) measures the peer's memory" >&2; exit 2; }
sizes=${SIZES:-80 1000 20000 100000}
rounds=${ROUNDS:-3}

if [ -n "${FOLDER:-}" ]; then
  work=$FOLDER
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

# The peer: thumbnails of the list's files FIRST to LAST (1-based), 206 pixels a side, two jobs;
# prints milliseconds and peak MB.
vips() {
  local folder=$1 first=$2 last=$3 out=$work/vips start end mem
  rm -rf "$out" && mkdir -p "$out"
  start=$(date +%s%N)
  mem=$( { /usr/bin/time -f %M bash -c \
    'ls "$1" | sed -n "$2,$3p" | sed "s|^|$1/|" | xargs -P 2 -n 40 vipsthumbnail --size 206x206 -o "$4/%s.jpg"' \
    _ "$folder" "$first" "$last" "$out" >/dev/null; } 2>&1 | tail -1)
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000000 )) $(( mem / 1024 ))"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%8s  %10s %10s %9s %9s | %10s %10s %9s\n' files "grid load" "grid page" "grid MB" "peak MB" \
  "vips load" "vips page" "vips MB"
for n in $sizes; do
  folder=$work/f$n
  echo "making a folder of $n photos ..." >&2
  "$bench" grow "$folder" "$n"
  ls "$folder" > /dev/null
  cat "$folder"/photo0000[0-9][0-9].jpg > /dev/null  # warm the cache
  gl=(); gp=(); gm=(); gpeak=(); vl=(); vp=(); vm=()
  for _ in $(seq "$rounds"); do
    read -r count load page mem peak _ < <("$bench" paged "$folder")
    [ "$count" = "$n" ] || { echo "listed $count of $n" >&2; exit 1; }
    gl+=("$(awk -v s="$load" 'BEGIN { printf "%d", s * 1000 }')")
    gp+=("$(awk -v s="$page" 'BEGIN { printf "%d", s * 1000 }')")
    gm+=("$mem"); gpeak+=("$peak")
    read -r ms mb < <(vips "$folder" 1 80); vl+=("$ms"); vm+=("$mb")
    if [ "$n" -gt 84 ]; then read -r ms mb < <(vips "$folder" 81 160); vp+=("$ms"); vm+=("$mb"); else vp+=(0); fi
  done
  printf '%8d  %7d ms %7d ms %9.0f %9.0f | %7d ms %7d ms %9d\n' "$n" \
    "$(printf '%s\n' "${gl[@]}" | median)" "$(printf '%s\n' "${gp[@]}" | median)" \
    "$(printf '%s\n' "${gm[@]}" | sort -n | tail -1)" "$(printf '%s\n' "${gpeak[@]}" | sort -n | tail -1)" \
    "$(printf '%s\n' "${vl[@]}" | median)" "$(printf '%s\n' "${vp[@]}" | median)" \
    "$(printf '%s\n' "${vm[@]}" | sort -n | tail -1)"
done
echo "grid MB: the peak of the load and the page above the idle window, its folder listed (the peak is" \
  "reset after the listing; in a big folder the load reuses memory the listing freed); peak MB: the whole" \
  "process, the list of paths included" >&2
