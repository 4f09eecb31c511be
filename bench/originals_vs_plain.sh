#!/usr/bin/env bash
# `veil cipher --remove-originals` against plain `veil cipher`, on 20 photos of 24 megapixels, in
# one run: the rounds take the two in turns (plain, removing, plain, ...) so that a slower or
# faster moment of the machine falls on both alike, and each figure is the median of the rounds.
# Before each timed run the photos are copied afresh into a folder of their own and the disk is
# synced, so both start with the photos in the page cache and nothing pending. What removing adds
# is the read-back of each ".veil" file and of its photo, which the page cache should serve, and
# the removal itself. The thumbnail cache and recent-files list are temporary folders.
# Target: removing / plain <= 1.3.
#   usage: bench/originals_vs_plain.sh [BUILD_DIR]     (default build/release)
#   environment: ROUNDS (default 5), VEIL (default BUILD_DIR/src/cli/veil),
#                FOLDER (photos made once and kept there)
set -euo pipefail
build=${1:-build/release}
veil=${VEIL:-$build/src/cli/veil}
bench=$build/bench/bench_tools
rounds=${ROUNDS:-5}
[ -x "$veil" ] || { echo "no $veil; build first" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/var/tmp}/originals-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CACHE_HOME/thumbnails/normal" "$XDG_DATA_HOME"

folder=${FOLDER:-$work/made}
if [ ! -e "$folder/photo19.jpg" ]; then
  [ -x "$bench" ] || { echo "no $bench to make the photos; build first" >&2; exit 2; }
  mkdir -p "$folder"
  echo "making 20 photos of 6000 x 4000 ..." >&2
  "$bench" make "$folder"
fi
photos=()
for i in $(seq -w 0 19); do photos+=("$folder/photo$i.jpg"); done
printf 'benchmark code\n' > "$work/code.txt"

now() { date +%s%N; }
median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# One timed run in a fresh copy of the photos; prints milliseconds, then the processor
# milliseconds of all of veil's threads (user and system), which a loaded machine leaves alone.
timed() {  # extra options of veil cipher
  rm -rf "$work/run"
  mkdir -p "$work/run/in" "$work/run/out"
  cp "${photos[@]}" "$work/run/in/"
  sync
  local start end cpu TIMEFORMAT='%3U %3S'
  start=$(now)
  cpu=$({ time "$veil" cipher "$@" --code-file "$work/code.txt" --into "$work/run/out" "$work"/run/in/*.jpg \
           > /dev/null 2>&1; } 2>&1)
  end=$(now)
  [ "$(ls "$work/run/out" | wc -l)" -eq 20 ] || { echo "veil did not write 20 files" >&2; exit 1; }
  if [ $# -gt 0 ] && [ -n "$(ls "$work/run/in")" ]; then echo "originals left behind" >&2; exit 1; fi
  echo "$(((end - start) / 1000000)) $(awk '{ printf "%d", ($1 + $2) * 1000 }' <<< "$cpu")"
}

size_mb=$(du -cm "${photos[@]}" | tail -1 | cut -f1)
echo "20 photos of 24 MP, $size_mb MB in all; $rounds rounds; load $(cut -d' ' -f1-3 /proc/loadavg)" >&2
plain="" removing="" plaincpu="" removingcpu=""
for _ in $(seq "$rounds"); do
  read -r ms cpu < <(timed)
  plain+=" $ms" plaincpu+=" $cpu"
  read -r ms cpu < <(timed --remove-originals)
  removing+=" $ms" removingcpu+=" $cpu"
done
p=$(echo "$plain" | median)
r=$(echo "$removing" | median)
pc=$(echo "$plaincpu" | median)
rc=$(echo "$removingcpu" | median)
ratio=$(awk -v r="$r" -v p="$p" 'BEGIN { printf "%.2f", r / p }')
cpuratio=$(awk -v r="$rc" -v p="$pc" 'BEGIN { printf "%.2f", r / p }')
verdict=$(awk -v x="$ratio" 'BEGIN { print (x <= 1.3 ? "ok" : "OVER") }')
printf '%-34s %8s ms   processor %5s ms   (rounds:%s)\n' "veil cipher" "$p" "$pc" "$plain"
printf '%-34s %8s ms   processor %5s ms   (rounds:%s)\n' "veil cipher --remove-originals" "$r" "$rc" "$removing"
printf 'removing / plain = %s, processor %s  (target <= 1.3: %s); load after %s\n' "$ratio" "$cpuratio" "$verdict" \
  "$(cut -d' ' -f1-3 /proc/loadavg)"
