#!/usr/bin/env bash
# The preview's load of 84 thumbnails of 24-megapixel JPEGs against vipsthumbnail over the same
# files with two jobs, and the ciphered grid against the plain one, in one run; each time is the
# median of three rounds taken in turns. The ciphered grid is timed as the main window ciphers
# photos (sealed, each with its preview) under a code entered anew, so its one key stretch falls
# in the load; and over files sealed without previews (from `veil`, or made before previews),
# whose every photo is deciphered and decoded, with the key stretched beforehand. Targets:
# plain / vipsthumbnail <= 1.0, ciphered / plain <= 1.05, peak memory of a load <= 250 MB above
# the program's idle size.
#   usage: bench/preview_vs_vips.sh [BUILD_DIR]     (default build/release; needs libvips-tools)
set -euo pipefail
build=${1:-build/release}
bench=$build/bench/bench_preview
[ -x "$bench" ] || { echo "no $bench; build first" >&2; exit 2; }
command -v vipsthumbnail >/dev/null || { echo "vipsthumbnail (libvips-tools) is the peer" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "making 84 photos of 6000 x 4000 ..." >&2
"$bench" make "$work"
mkdir "$work/vips"
cat "$work"/* > /dev/null 2>&1 || true  # warm the cache

vips() {
  local start end
  rm -f "$work/vips/"*
  start=$(date +%s%N)
  ls "$work"/*.jpg | xargs -P 2 -n 42 vipsthumbnail --size 206x206 -o "$work/vips/%s.jpg"
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000000 ))"
}

median() { sort -n | sed -n 2p; }
v=(); p=(); c=(); w=(); pm=(); cm=()
for _ in 1 2 3; do
  v+=("$(vips)")
  read -r secs mem _ < <("$bench" plain "$work"); p+=("$(awk -v s="$secs" 'BEGIN{printf "%d", s*1000}')"); pm+=("$mem")
  read -r secs mem _ < <("$bench" ciphered "$work"); c+=("$(awk -v s="$secs" 'BEGIN{printf "%d", s*1000}')"); cm+=("$mem")
  read -r secs _ < <("$bench" whole "$work"); w+=("$(awk -v s="$secs" 'BEGIN{printf "%d", s*1000}')")
done
tv=$(printf '%s\n' "${v[@]}" | median); tp=$(printf '%s\n' "${p[@]}" | median); tc=$(printf '%s\n' "${c[@]}" | median); tw=$(printf '%s\n' "${w[@]}" | median)
mp=$(printf '%s\n' "${pm[@]}" | sort -n | tail -1); mc=$(printf '%s\n' "${cm[@]}" | sort -n | tail -1)
awk -v v="$tv" -v p="$tp" -v c="$tc" -v w="$tw" -v mp="$mp" -v mc="$mc" 'BEGIN {
  printf "vipsthumbnail, 2 jobs  %6d ms\nplain grid             %6d ms\nciphered grid          %6d ms\n", v, p, c
  printf "plain / vipsthumbnail  = %.2f  (target <= 1.00)\n", p / v
  printf "sealed without previews %5d ms\n", w
  printf "ciphered / plain       = %.2f  (target <= 1.05)\n", c / p
  printf "without previews / plain = %.2f  (the photos themselves deciphered)\n", w / p
  printf "peak MB above idle     = %.0f plain, %.0f ciphered  (target <= 250)\n", mp, mc
}'
