#!/usr/bin/env bash
# `veilshot PHOTO` in folders of 1, 1,000, 20,000 and 100,000 small JPEGs (160 x 120, a few KB
# each, named photo000000.jpg ...; the one named is in the middle of its folder), from the exec
# until the photo's pixels are on the X screen, with the process's peak memory, against feh and
# nsxiv on the same folders, each listing the folder and starting at the same photo (feh -F
# --start-at PHOTO FOLDER, nsxiv -f -n N FOLDER: both full screen, so the photo stands at the
# screen's centre as Veilshot's centred window has it). The programs take their turns within each
# round, the folders in turn within each program's turn. Under Xvfb with openbox on a display of
# its own (bench/xsession.sh); bench/launch_poll does the timing.
# Targets: Veilshot at 100,000 files at most 1.1x Veilshot at 1 file, and at most 60 MB.
#   usage: bench/bigfolder_vs_peers.sh [BUILD_DIR] [ROUNDS]   (default build/release, 3 rounds)
#   environment: FOLDERS (where the folders are made once and kept; default BUILD_DIR/bigfolders),
#   SIZES (default "1 1000 20000 100000"), PEERS (default "feh nsxiv"; empty for none)
#   needs: feh and nsxiv (apt-get install feh nsxiv; installed here when missing and run as root),
#   Xvfb, openbox, imagemagick's convert, and launch_poll built (the release preset builds it)
set -euo pipefail
build=${1:-build/release}
rounds=${2:-3}
folders=${FOLDERS:-$build/bigfolders}
sizes=${SIZES:-1 1000 20000 100000}
peers=${PEERS-feh nsxiv}
veilshot=$build/src/app/veilshot
poll=$build/bench/launch_poll
for f in "$veilshot" "$poll"; do [ -x "$f" ] || { echo "no $f; build first" >&2; exit 2; }; done
for p in $peers; do
    if ! command -v "$p" >/dev/null; then
        [ "$(id -u)" = 0 ] && apt-get install -y "$p" >/dev/null || { echo "$p is needed: apt-get install $p" >&2; exit 2; }
    fi
done
for c in Xvfb openbox convert; do command -v $c >/dev/null || { echo "$c is needed" >&2; exit 2; }; done

# Magenta with a little noise, a colour no window chrome uses.
mkdir -p "$folders"
[ -f "$folders/photo.jpg" ] || convert -size 160x120 'xc:rgb(200,40,160)' -attenuate 0.2 +noise Gaussian -quality 90 "$folders/photo.jpg"
for n in $sizes; do
    d=$folders/$n
    [ -d "$d" ] && [ "$(find "$d" -maxdepth 1 -name 'photo*.jpg' | wc -l)" = "$n" ] && continue
    echo "making $n photos in $d ..." >&2
    rm -rf "$d"; mkdir -p "$d"
    python3 - "$folders/photo.jpg" "$d" "$n" <<'EOF'
import sys
data = open(sys.argv[1], 'rb').read()
for i in range(int(sys.argv[3])):
    with open('%s/photo%06d.jpg' % (sys.argv[2], i), 'wb') as f:
        f.write(data)
EOF
done
named() { printf 'photo%06d.jpg' $(($1 / 2)); }

work=$(mktemp -d)
display=:${VEILSHOT_BENCH_DISPLAY:-12}
. "$(dirname "$0")/xsession.sh"

run() {  # run PROGRAM N -> "MS KB"
    local program=$1 n=$2 d=$folders/$2 photo
    photo=$(named "$n")
    cat "$d/$photo" > /dev/null
    ls -f "$d" > /dev/null  # the folder in the cache, for every program alike
    case $program in
    veilshot) "$poll" 200 40 160 40 30000 "$veilshot" "$d/$photo" ;;
    feh) "$poll" 200 40 160 40 30000 feh -F --start-at "$d/$photo" "$d" ;;
    nsxiv) "$poll" 200 40 160 40 30000 nsxiv -f -n $(($n / 2 + 1)) "$d" ;;
    esac
    sleep 0.3  # the killed window leaves the screen
}

# Veilshot's peak memory once its folder is listed too: launch_poll reads the peak as the photo
# shows, which may be before the listing ends.
settled_peak() {  # settled_peak N -> KB
    local d=$folders/$1 pid kb
    "$veilshot" "$d/$(named "$1")" & pid=$!
    sleep 5
    kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
    kill "$pid"; wait "$pid" 2>/dev/null || true
    sleep 0.3
    echo "$kb"
}

declare -A results
echo "== load average $(cut -d' ' -f1-3 /proc/loadavg); $rounds rounds" >&2
for i in $(seq "$rounds"); do
    for program in veilshot $peers; do
        for n in $sizes; do
            r=$(run "$program" "$n") || r="-1 0"
            results[$program.$n]+="$r"$'\n'
            echo "round $i $program $n: $r" >&2
        done
    done
done

summary() {  # lines of "MS KB" -> "median min max peakMB"
    sort -n | awk '$1 >= 0 { ms[++n] = $1; if ($2 > kb) kb = $2 }
        END { if (n == 0) { print "-1 -1 -1 0"; exit }
              printf "%.1f %.1f %.1f %.1f\n", (n % 2) ? ms[(n + 1) / 2] : (ms[n / 2] + ms[n / 2 + 1]) / 2, ms[1], ms[n], kb / 1024 }'
}
printf '%-9s %8s  %-34s\n' files program "median ms (lowest..highest), peak MB"
declare -A median peak settled
for n in $sizes; do
    for program in veilshot $peers; do
        read -r m lo hi mb <<< "$(printf '%s' "${results[$program.$n]}" | summary)"
        median[$program.$n]=$m; peak[$program.$n]=$mb
        printf '%-9s %8s  %7.1f ms (%.1f..%.1f)  %6.1f MB\n' "$n" "$program" "$m" "$lo" "$hi" "$mb"
    done
done
for n in $sizes; do
    kb=$(settled_peak "$n")
    printf '%-9s %8s  peak %.1f MB five seconds after the start, the folder listed\n' "$n" veilshot "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')"
    settled[$n]=$(awk -v k="$kb" 'BEGIN { printf "%.1f", k / 1024 }')
done
first=${sizes%% *}; last=${sizes##* }
awk -v a="${median[veilshot.$last]}" -v b="${median[veilshot.$first]}" -v m="${settled[$last]}" \
    -v first="$first" -v last="$last" 'BEGIN {
    r = a / b
    printf "veilshot at %s files / at %s = %.2f  (target <= 1.10: %s)\n", last, first, r, r <= 1.10 ? "ok" : "OVER"
    printf "veilshot peak at %s files, listed = %.1f MB  (target <= 60: %s)\n", last, m, m <= 60 ? "ok" : "OVER" }'
echo "== load average $(cut -d' ' -f1-3 /proc/loadavg)"
