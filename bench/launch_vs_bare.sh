#!/usr/bin/env bash
# Launch to the first picture: `veilshot PHOTO` against a bare Qt program (bench/bare_view.cpp: one
# QImageReader scaled to the screen box, one QLabel) on the same 24-megapixel JPEG, timed from the
# exec until the photo's pixels are on the X screen (bench/launch_poll.cpp polls the root window),
# with each program's peak memory; and start-up to an empty window, `veilshot` against bare_view
# with no file (an empty window of the same size and background). Rounds are taken in turns under
# Xvfb with openbox on a display of their own. Targets: photo <= 1.1x and <= 50 MB peak; empty
# window <= 1.2x. Builds nothing.
#   usage: [NEIGHBOURS=1] bench/launch_vs_bare.sh [BUILD_DIR] [ROUNDS]   (default build/release, 9 rounds)
#   needs, for measuring only: openbox (not in scripts/install-deps); xvfb, imagemagick and
#   libx11-dev (for building bench/launch_poll) are there
set -euo pipefail
build=${1:-build/release}
rounds=${2:-9}
veilshot=$build/src/app/veilshot
bare=$build/bench/bare_view
poll=$build/bench/launch_poll
for f in "$veilshot" "$bare" "$poll"; do [ -x "$f" ] || { echo "no $f; build first" >&2; exit 2; }; done
for c in Xvfb openbox convert; do command -v $c >/dev/null || { echo "$c is needed" >&2; exit 2; }; done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT  # until the X session takes over
display=:${VEILSHOT_BENCH_DISPLAY:-11}

# A magenta no window chrome uses, with noise enough that the file is as large as a camera's
# (about 9 MB) and decodes as a photo would. With NEIGHBOURS=1 the photo has one on each side in
# its folder, as in a real folder, so that what is prepared around it is counted too.
echo "making a 6000 x 4000 JPEG ..." >&2
mkdir "$work/photos"
photo=$work/photos/2.jpg
convert -size 6000x4000 'xc:rgb(200,40,160)' -attenuate 0.3 +noise Gaussian -quality 90 "$photo"
if [ "${NEIGHBOURS:-0}" = 1 ]; then cp "$photo" "$work/photos/1.jpg"; cp "$photo" "$work/photos/3.jpg"; fi
cat "$work"/photos/* > /dev/null
echo "photo: $(stat -c %s "$photo") bytes, neighbours: ${NEIGHBOURS:-0}" >&2

. "$(dirname "$0")/xsession.sh"

run() {  # run R G B PROGRAM [ARGS...] -> "MS KB"
    local r=$1 g=$2 b=$3; shift 3
    "$poll" "$r" "$g" "$b" 40 20000 "$@"
    sleep 0.3  # the killed window leaves the screen
}

photo_v=(); photo_b=(); empty_v=(); empty_b=(); empty_t=()
for i in $(seq "$rounds"); do
    photo_v+=("$(run 200 40 160 "$veilshot" "$photo")")
    photo_b+=("$(run 200 40 160 "$bare" "$photo")")
    empty_v+=("$(run 24 48 48 "$veilshot")")
    empty_b+=("$(run 24 48 48 "$bare")")
    empty_t+=("$(run 24 48 48 "$bare" --text)")
    echo "round $i: photo ${photo_v[-1]} / ${photo_b[-1]}  empty ${empty_v[-1]} / ${empty_b[-1]} / ${empty_t[-1]}" >&2
done

summary() {  # summary NAME "MS KB"... -> median, spread (min-max), peak memory's maximum
    local name=$1; shift
    printf '%s\n' "$@" | sort -n | awk -v name="$name" '
        { ms[NR] = $1; if ($2 > kb) kb = $2 }
        END { m = (NR % 2) ? ms[(NR + 1) / 2] : (ms[NR / 2] + ms[NR / 2 + 1]) / 2
              printf "%-22s median %7.1f ms  spread %6.1f-%6.1f ms  peak %5.1f MB\n", name, m, ms[1], ms[NR], kb / 1024
              print m > "/dev/stderr" }' 2>"$work/median.$name"
}
summary veilshot_photo "${photo_v[@]}"
summary bare_photo "${photo_b[@]}"
summary veilshot_empty "${empty_v[@]}"
summary bare_empty "${empty_b[@]}"
summary bare_empty_text "${empty_t[@]}"
awk -v a="$(cat "$work/median.veilshot_photo")" -v b="$(cat "$work/median.bare_photo")" \
    -v c="$(cat "$work/median.veilshot_empty")" -v d="$(cat "$work/median.bare_empty")" \
    -v e="$(cat "$work/median.bare_empty_text")" 'BEGIN {
    printf "photo: veilshot / bare = %.2f  (target <= 1.10)\n", a / b
    printf "empty: veilshot / bare = %.2f, / bare with a line of text = %.2f  (target <= 1.20)\n", c / d, c / e }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
