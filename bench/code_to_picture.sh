#!/usr/bin/env bash
# A ciphered photo named on the command line, from the code window's "Photo" key (F1; Enter there is
# a line break of the code) until the photo's pixels are on the X screen, against its peer in the
# same program and the same run: a step (Right) to the next photo once it was decoded ahead. Three
# 24-megapixel JPEGs of distinct colours are ciphered with the `veil` tool, one folder in the sealed
# format (the one new files get) and one in the keyed format; each round starts `veilshot 2.veil`
# in each folder in turn, waits for the code window, types the code, and times F1 to photo 2's
# colour at the screen's centre, then, once the neighbours are decoded ahead, Right to photo 3's
# colour (bench/launch_poll --key sends the key and polls the root window). The sealed figure holds
# one key stretch by design; the script measures one stretch alone (bench_cipher) and prints it
# beside. Rounds run under Xvfb with openbox on a display of their own, settings in a temporary
# HOME; medians and spreads (lowest-highest), and the load average. Builds nothing.
#   usage: [OTHER_FILES=N] bench/code_to_picture.sh [BUILD_DIR] [ROUNDS]   (default build/release,
#          7 rounds; OTHER_FILES: that many small files of another kind beside the photos in each
#          folder, as in a real folder, so that its listing is counted too; default 0)
#   environment: COMPARE=PROGRAM, another build of veilshot (the one before a change, say) timed
#   the same way in the same rounds, in turns with this one, and printed beside it
#   needs, for measuring only: openbox and xdotool (not in scripts/install-deps); xvfb,
#   imagemagick and libx11-dev (for building bench/launch_poll) are there
set -euo pipefail
build=${1:-build/release}
rounds=${2:-7}
veilshot=$build/src/app/veilshot
veil=$build/src/cli/veil
poll=$build/bench/launch_poll
stretch=$build/bench/bench_cipher
for f in "$veilshot" "$veil" "$poll" "$stretch"; do [ -x "$f" ] || { echo "no $f; build first" >&2; exit 2; }; done
for c in Xvfb openbox xdotool convert; do command -v $c >/dev/null || { echo "$c is needed" >&2; exit 2; }; done
veilshot=$(realpath "$veilshot")
compare=${COMPARE:+$(realpath "$COMPARE")}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT  # until the X session takes over
display=:${VEILSHOT_BENCH_DISPLAY:-12}
app=

# Colours no window chrome uses, with noise enough that each file is as large as a camera's
# (about 9 MB) and decodes as a photo would. Photo 2 is the one named; 3 is the step's.
colours=("" "40 200 60" "200 40 160" "230 150 30")
code=bench-code-to-picture
printf '%s' "$code" > "$work/code.txt"
mkdir "$work/photos" "$work/sealed" "$work/keyed"
echo "making three 6000 x 4000 JPEGs ..." >&2
for i in 1 2 3; do
    read -r r g b <<< "${colours[$i]}"
    convert -size 6000x4000 "xc:rgb($r,$g,$b)" -attenuate 0.3 +noise Gaussian -quality 90 "$work/photos/$i.jpg"
done
# One run of the tool per folder: its files share one salt, so one stretch opens them all.
"$veil" cipher --format=sealed --code-file "$work/code.txt" --into "$work/sealed" "$work"/photos/*.jpg
"$veil" cipher --format=v1 --code-file "$work/code.txt" --into "$work/keyed" "$work"/photos/*.jpg
for ((i = 0; i < ${OTHER_FILES:-0}; ++i)); do
    printf 'note %d\n' "$i" > "$work/sealed/note-$i.txt"
done
[ "${OTHER_FILES:-0}" -gt 0 ] && cp "$work"/sealed/note-*.txt "$work/keyed/"
cat "$work"/sealed/*.veil "$work"/keyed/*.veil > /dev/null
echo "photo 2: $(stat -c %s "$work/photos/2.jpg") bytes, sealed $(stat -c %s "$work/sealed/2.veil"), keyed $(stat -c %s "$work/keyed/2.veil"); other files in each folder: ${OTHER_FILES:-0}" >&2

. "$(dirname "$0")/xsession.sh"

window() {  # window TITLE -> the X window id of the program's window with exactly that title
    local id
    for _ in $(seq 200); do
        id=$(xdotool search --all --pid "$app" --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.05
    done
    echo "no window \"$1\"" >&2
    return 1
}

round() {  # round FOLDER [PROGRAM] -> "CODE_MS STEP_MS"
    local folder=$1 program=${2:-$veilshot} codewin mainwin first step
    (cd "$folder" && exec "$program" 2.veil) & app=$!
    codewin=$(window "Code Veilshot")
    mainwin=$(window "Veilshot")
    xdotool windowactivate --sync "$codewin" >/dev/null 2>&1 || true
    xdotool type --delay 5 --window "$codewin" "$code"
    sleep 0.5  # typed and painted; what is done while the user types is done by now
    read -r r g b <<< "${colours[2]}"
    first=$("$poll" --key F1 "$codewin" "$r" "$g" "$b" 40 20000)
    sleep 2  # the neighbours decoded ahead, and the machine quiet again
    read -r r g b <<< "${colours[3]}"
    step=$("$poll" --key Right "$mainwin" "$r" "$g" "$b" 40 20000)
    kill "$app"; wait "$app" 2>/dev/null || true; app=
    sleep 0.3  # the killed window leaves the screen
    echo "$first $step"
}

sealed_c=(); sealed_s=(); keyed_c=(); keyed_s=(); other_sc=(); other_ss=(); other_kc=(); other_ks=()
for i in $(seq "$rounds"); do
    read -r c s <<< "$(round "$work/sealed")"; sealed_c+=("$c"); sealed_s+=("$s")
    read -r c s <<< "$(round "$work/keyed")"; keyed_c+=("$c"); keyed_s+=("$s")
    echo "round $i: sealed code ${sealed_c[-1]} step ${sealed_s[-1]}  keyed code ${keyed_c[-1]} step ${keyed_s[-1]}" >&2
    [ -n "$compare" ] || continue
    read -r c s <<< "$(round "$work/sealed" "$compare")"; other_sc+=("$c"); other_ss+=("$s")
    read -r c s <<< "$(round "$work/keyed" "$compare")"; other_kc+=("$c"); other_ks+=("$s")
    echo "round $i, compared: sealed code ${other_sc[-1]} step ${other_ss[-1]}  keyed code ${other_kc[-1]} step ${other_ks[-1]}" >&2
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() { printf '%s\n' "$@" | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.1f-%.1f", lo, hi }'; }
line() {  # line NAME VALUES...
    local name=$1; shift
    printf '%-26s median %7.1f ms  spread %13s ms  (%d rounds)\n' "$name" "$(median "$@")" "$(spread "$@")" $#
}

# One key stretch alone, as the sealed code entry does it once.
"$stretch" --benchmark_filter='^StretchKey$' --benchmark_repetitions=3 --benchmark_format=csv 2>/dev/null \
    > "$work/stretch.csv"
stretch_ms=$(awk -F, '$1 ~ /StretchKey_median/ { print $3 + 0 }' "$work/stretch.csv")

line sealed_code_to_photo "${sealed_c[@]}"
line sealed_step_to_next "${sealed_s[@]}"
line keyed_code_to_photo "${keyed_c[@]}"
line keyed_step_to_next "${keyed_s[@]}"
printf '%-26s median %7.1f ms  (bench_cipher StretchKey, 3 repetitions)\n' key_stretch_alone "$stretch_ms"
if [ -n "$compare" ]; then
    echo "compared with $compare:"
    line compared_sealed_code "${other_sc[@]}"
    line compared_sealed_step "${other_ss[@]}"
    line compared_keyed_code "${other_kc[@]}"
    line compared_keyed_step "${other_ks[@]}"
fi
awk -v sc="$(median "${sealed_c[@]}")" -v ss="$(median "${sealed_s[@]}")" -v kc="$(median "${keyed_c[@]}")" \
    -v ks="$(median "${keyed_s[@]}")" -v st="$stretch_ms" 'BEGIN {
    printf "sealed: code to photo / step = %.2f; without the stretch %.1f ms, / step = %.2f\n", sc / ss, sc - st, (sc - st) / ss
    printf "keyed:  code to photo / step = %.2f\n", kc / ks }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
