#!/usr/bin/env bash
# One 24-megapixel photo (6000 x 4000 JPEG) converted to PNG by Veilshot against `vips copy` to a
# PNG (vips's own defaults: compression 6, no filter), in one run, the rounds taken in turns:
#   window   the transform window's one-photo Transform to PNG, offscreen, with its progress and
#            stop key, as a user starts it
#   convert  the call the window makes (tools::Transform), without the window
#   encode   the encoding and writing alone, against vips saving from its own uncompressed format
# Each on three photos: a plain one, noisy in every pixel; a smooth one, which deflates well; and
# the plain one as a camera writes it (EXIF with a turn to undo, and an ICC profile; needs
# exiftool). Prints the medians, the spread (fastest-slowest) and the
# files' sizes. Target: Veilshot / vips <= 1.10 for window and convert.
#   usage: bench/png_vs_vips.sh [BUILD_DIR] [ROUNDS]   (default build/release, 5; needs libvips-tools)
set -euo pipefail
build=${1:-build/release}
rounds=${2:-5}
bench=$build/bench/bench_png
[ -x "$bench" ] || { echo "no $bench; build first" >&2; exit 2; }
command -v vips >/dev/null || { echo "vips (libvips-tools) is the peer" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" make "$work/plain.jpg"
photos=(plain smooth)
vips resize "$work/plain.jpg" "$work/small.v" 0.125
vips resize "$work/small.v" "$work/smooth.jpg[Q=92]" 8
rm "$work/small.v"
profile=/usr/share/color/icc/ghostscript/a98.icc
if command -v exiftool >/dev/null && [ -f "$profile" ]; then
  cp "$work/plain.jpg" "$work/camera.jpg"
  exiftool -q -overwrite_original -Make=Bench -Model=Camera -Orientation#=6 -DateTimeOriginal='2026:01:02 03:04:05' \
    "-ICC_Profile<=$profile" "$work/camera.jpg"
  photos+=(camera)
fi
for p in "${photos[@]}"; do vips copy "$work/$p.jpg" "$work/$p.v"; done
cat "$work"/* > /dev/null  # warm the cache

ms() { echo $(( ($2 - $1) / 1000000 )); }
vipstime() {  # $1: source
  local start end
  rm -f "$work/vips.png"
  start=$(date +%s%N)
  vips copy "$1" "$work/vips.png"
  end=$(date +%s%N)
  ms "$start" "$end"
}
ourtime() {  # $1: window, convert or encode; $2: source
  rm -f "$work/ours.png"
  "$bench" "$1" "$2" "$work/ours.png" | awk '{ printf "%d\n", $1 * 1000 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
spread() { sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%d-%d", lo, hi }'; }

echo "load: $(cut -d' ' -f1-3 /proc/loadavg), $rounds rounds in turns, milliseconds"
for p in "${photos[@]}"; do
  for job in window convert encode; do
    source=$work/$p.jpg
    [ "$job" = encode ] && vsource=$work/$p.v || vsource=$source
    v=(); o=()
    for _ in $(seq "$rounds"); do
      v+=("$(vipstime "$vsource")")
      o+=("$(ourtime "$job" "$source")")
    done
    tv=$(printf '%s\n' "${v[@]}" | median); to=$(printf '%s\n' "${o[@]}" | median)
    rv=$(printf '%s\n' "${v[@]}" | spread); ro=$(printf '%s\n' "${o[@]}" | spread)
    sv=$(stat -c %s "$work/vips.png"); so=$(stat -c %s "$work/ours.png")
    awk -v p="$p" -v j="$job" -v v="$tv" -v o="$to" -v rv="$rv" -v ro="$ro" -v sv="$sv" -v so="$so" 'BEGIN {
      printf "%-6s %-8s vips %5d (%s) %5.1f MB   Veilshot %5d (%s) %5.1f MB   time ratio %.2f (target <= 1.10)   size ratio %.2f\n",
        p, j, v, rv, sv / 1e6, o, ro, so / 1e6, o / v, so / sv
    }'
  done
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
