#!/usr/bin/env bash
# One 24-megapixel photo (6000 x 4000 JPEG) converted to PNG by Veilshot's one-photo transform
# against `vips pngsave` at its default settings (compression 6, no filter), in one run: five
# rounds taken in turns, medians. Also the encoding alone, against vips saving from its own
# uncompressed format. Prints the times, the ratios and the files' sizes.
# Target: Veilshot / vips <= 1.00 for the conversion.
#   usage: bench/png_vs_vips.sh [BUILD_DIR]     (default build/release; needs libvips-tools)
set -euo pipefail
build=${1:-build/release}
bench=$build/bench/bench_png
[ -x "$bench" ] || { echo "no $bench; build first" >&2; exit 2; }
command -v vips >/dev/null || { echo "vips (libvips-tools) is the peer" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" make "$work/photo.jpg"
vips copy "$work/photo.jpg" "$work/photo.v"
cat "$work/photo.jpg" "$work/photo.v" > /dev/null  # warm the cache

ms() { echo $(( ($2 - $1) / 1000000 )); }
vipstime() {  # $1: source
  local start end
  rm -f "$work/vips.png"
  start=$(date +%s%N)
  vips pngsave "$1" "$work/vips.png"
  end=$(date +%s%N)
  ms "$start" "$end"
}
ourtime() {  # $1: convert or encode
  rm -f "$work/ours.png"
  "$bench" "$1" "$work/photo.jpg" "$work/ours.png" | awk '{ printf "%d\n", $1 * 1000 }'
}
median() { sort -n | sed -n 3p; }

for job in convert encode; do
  source=$work/photo.jpg
  [ "$job" = encode ] && source=$work/photo.v
  v=(); o=()
  for _ in 1 2 3 4 5; do
    v+=("$(vipstime "$source")")
    o+=("$(ourtime "$job")")
  done
  tv=$(printf '%s\n' "${v[@]}" | median); to=$(printf '%s\n' "${o[@]}" | median)
  sv=$(stat -c %s "$work/vips.png"); so=$(stat -c %s "$work/ours.png")
  awk -v j="$job" -v v="$tv" -v o="$to" -v sv="$sv" -v so="$so" 'BEGIN {
    printf "%-8s vips %6d ms %6.1f MB   Veilshot %6d ms %6.1f MB   time ratio %.2f (target <= 1.00)   size ratio %.2f\n",
      j, v, sv / 1e6, o, so / 1e6, o / v, so / sv
  }'
done
