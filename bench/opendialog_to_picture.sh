#!/usr/bin/env bash
# The main window's Open of a ".veil" in folders of 1,000, 20,000 and 100,000 ciphered photos
# (each a copy of one small magenta photo, ciphered with the `veil` tool under one code): the
# program is started in the folder, the code typed, Open pressed, and once the dialog is up a
# name typed; timed is Enter until the photo's pixels are on the X screen (bench/launch_poll),
# twice a round: Enter at once, while the dialog still lists the folder ("early"), and Enter after
# the list is shown ("late"). Under Xvfb with openbox on a display of its own (bench/xsession.sh).
# The time holds the program's own listing of the folder and the one key stretch of the sealed
# format. Its peer, Qt's dialog in the same run, is timed by bench/opendialog_vs_qt.sh; with
# COMPARE=PROGRAM another build of veilshot (the one before a change) is timed here in turns.
#   usage: bench/opendialog_to_picture.sh [BUILD_DIR] [ROUNDS]   (default build/release, 3 rounds)
#   environment: FOLDERS (made once and kept; default BUILD_DIR/veilphotos), SIZES (default
#   "1000 20000 100000"), COMPARE
#   needs: Xvfb, openbox and xdotool (not in scripts/install-deps), imagemagick's convert
set -euo pipefail
build=${1:-build/release}
rounds=${2:-3}
folders=${FOLDERS:-$build/veilphotos}
sizes=${SIZES:-1000 20000 100000}
veilshot=$build/src/app/veilshot
veil=$build/src/cli/veil
poll=$build/bench/launch_poll
for f in "$veilshot" "$veil" "$poll"; do [ -x "$f" ] || { echo "no $f; build first" >&2; exit 2; }; done
for c in Xvfb openbox xdotool convert python3; do command -v $c >/dev/null || { echo "$c is needed" >&2; exit 2; }; done
veilshot=$(realpath "$veilshot")
compare=${COMPARE:+$(realpath "$COMPARE")}
code=bench-open-dialog

mkdir -p "$folders"
if [ ! -f "$folders/photo.veil" ]; then
    convert -size 160x120 'xc:rgb(200,40,160)' -attenuate 0.2 +noise Gaussian -quality 90 "$folders/photo.jpg"
    printf '%s' "$code" > "$folders/code.txt"
    "$veil" cipher --code-file "$folders/code.txt" --into "$folders" "$folders/photo.jpg"
fi
for n in $sizes; do
    d=$folders/$n
    [ -d "$d" ] && [ "$(find "$d" -maxdepth 1 -name 'photo*.veil' | wc -l)" = "$n" ] && continue
    echo "making $n ciphered photos in $d ..." >&2
    rm -rf "$d"; mkdir -p "$d"
    python3 - "$folders/photo.veil" "$d" "$n" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
for i in range(int(sys.argv[3])):
    with open('%s/photo%06d.veil' % (sys.argv[2], i), 'wb') as f:
        f.write(data)
PY
done

work=$(mktemp -d)
display=:${VEILSHOT_BENCH_DISPLAY:-14}
app=
. "$(dirname "$0")/xsession.sh"

window() {  # window TITLE -> the X window id of the program's window with exactly that title
    local id
    for _ in $(seq 400); do
        id=$(xdotool search --all --onlyvisible --pid "$app" --name "^$1\$" 2>/dev/null | tail -1)
        if [ -n "$id" ]; then
            # A window may be made anew as it is shown (a change of its flags): the last one counts.
            sleep 0.3
            xdotool search --all --onlyvisible --pid "$app" --name "^$1\$" 2>/dev/null | tail -1
            return
        fi
        sleep 0.05
    done
    echo "no window \"$1\"" >&2
    return 1
}
gone() {  # gone WINDOW_ID: waits until the window is no longer shown
    for _ in $(seq 400); do
        xdotool search --all --onlyvisible --pid "$app" 2>/dev/null | grep -qx "$1" || return 0
        sleep 0.05
    done
}
press_open() {  # the main window's Open, in the bar of buttons centred at its foot
    local main=$1 w h
    eval "$(xdotool getwindowgeometry --shell "$main")"
    w=$WIDTH; h=$HEIGHT
    xdotool mousemove --window "$main" $((w / 2 + 100)) $((h - 31)) click 1
}

round() {  # round N WHEN [PROGRAM] -> milliseconds from Enter to the photo
    local n=$1 when=$2 program=${3:-$veilshot} main codewin dialog ms
    (cd "$folders/$n" && exec "$program") & app=$!
    main=$(window Veilshot)
    sleep 0.5
    press_open "$main"
    codewin=$(window "Code Veilshot")
    xdotool windowactivate --sync "$codewin" >/dev/null 2>&1 || true
    xdotool type --delay 5 "$code"
    xdotool key F1
    gone "$codewin"
    press_open "$main"
    dialog=$(window Open)
    xdotool windowactivate --sync "$dialog" >/dev/null 2>&1 || true
    xdotool type --delay 5 "photo$(printf %06d $((n / 2))).veil"
    [ "$when" = late ] && sleep 4
    ms=$("$poll" --key Return "$dialog" 200 40 160 40 30000) || ms=timeout
    kill "$app"; wait "$app" 2>/dev/null || true; app=
    sleep 0.3
    echo "$ms"
}

declare -A times
for i in $(seq "$rounds"); do
    for n in $sizes; do
        for when in early late; do
            t=$(round "$n" "$when"); times[$n,$when]+="$t "
            echo "round $i: $n files, Enter $when: $t ms" >&2
            [ -n "$compare" ] || continue
            t=$(round "$n" "$when" "$compare"); times[$n,$when,c]+="$t "
            echo "round $i: $n files, Enter $when, compared: $t ms" >&2
        done
    done
done
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
spread() { printf '%s\n' "$@" | sort -n | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.0f-%.0f", lo, hi }'; }
for n in $sizes; do
    for when in early late; do
        for k in "$n,$when" ${compare:+"$n,$when,c"}; do
            # shellcheck disable=SC2086
            set -- ${times[$k]}
            printf '%7d files  Enter %-5s %-9s median %7.0f ms  spread %11s ms  (%d rounds)\n' "$n" "$when" \
                "$([ "${k%,c}" = "$k" ] && echo this || echo compared)" "$(median "$@")" "$(spread "$@")" $#
        done
    done
done
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
