#!/usr/bin/env bash
# The image tools over 24 photos of 24 megapixels against vips doing the same jobs on the same
# files with two jobs at a time, in one run; each time is the median of three rounds taken in
# turns. Compress-all at quality 70 against `vips copy F out.jpg[Q=70]`, scale-all by 4 against
# `vips resize F out.jpg 0.25` (both write JPEG at their encoder's default quality, 75).
# Target: tool / vips <= 1.2 for each.
#   usage: bench/tools_vs_peers.sh [BUILD_DIR]     (default build/release; needs libvips-tools)
set -euo pipefail
build=${1:-build/release}
bench=$build/bench/bench_tools
[ -x "$bench" ] || { echo "no $bench; build first" >&2; exit 2; }
command -v vips >/dev/null || { echo "vips (libvips-tools) is the peer" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/photos"
echo "making 24 photos of 6000 x 4000 ..." >&2
"$bench" make "$work/photos"
cat "$work"/photos/* > /dev/null  # warm the cache

ms() { echo $(( ($2 - $1) / 1000000 )); }

peer() {  # $1: compress or scale
  local start end
  rm -rf "$work/peer"; mkdir "$work/peer"
  start=$(date +%s%N)
  if [ "$1" = compress ]; then
    ls "$work"/photos/*.jpg | xargs -P 2 -I{} sh -c 'vips copy "$1" "$2/$(basename "$1")[Q=70]"' _ {} "$work/peer"
  else
    ls "$work"/photos/*.jpg | xargs -P 2 -I{} sh -c 'vips resize "$1" "$2/$(basename "$1")" 0.25' _ {} "$work/peer"
  fi
  end=$(date +%s%N)
  ms "$start" "$end"
}

ours() {  # $1: compress or scale; prints milliseconds and peak MB
  rm -rf "$work/ours"
  read -r secs mem < <("$bench" "$1" "$work/photos" "$work/ours")
  awk -v s="$secs" -v m="$mem" 'BEGIN{printf "%d %d\n", s*1000, m}'
}

median() { sort -n | sed -n 2p; }
for job in compress scale; do
  v=(); o=(); m=()
  for _ in 1 2 3; do
    v+=("$(peer "$job")")
    read -r t mem < <(ours "$job"); o+=("$t"); m+=("$mem")
  done
  tv=$(printf '%s\n' "${v[@]}" | median); to=$(printf '%s\n' "${o[@]}" | median)
  mm=$(printf '%s\n' "${m[@]}" | sort -n | tail -1)
  awk -v j="$job" -v v="$tv" -v o="$to" -v m="$mm" 'BEGIN {
    printf "%-8s vips, 2 jobs %6d ms   Veilshot %6d ms   ratio %.2f (target <= 1.20)   peak %d MB\n", j, v, o, o / v, m
  }'
done
