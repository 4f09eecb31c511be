#!/usr/bin/env bash
# The main window's open dialog in folders of 1,000, 20,000 and 100,000 small ".veil" files,
# against Qt's own file dialog as the program set it up before, the two in turns within each
# round (bench/bench_opendialog.cpp says what is timed). Under Xvfb with openbox on a display of
# its own (bench/xsession.sh), so the lists are drawn as on a desktop.
#   usage: bench/opendialog_vs_qt.sh [BUILD_DIR] [ROUNDS]   (default build/release, 3 rounds)
#   environment: FOLDERS (where the folders are made once and kept; default BUILD_DIR/veilfolders),
#   SIZES (default "1000 20000 100000")
#   needs: Xvfb and openbox (apt-get install openbox; not in scripts/install-deps)
set -euo pipefail
build=${1:-build/release}
rounds=${2:-3}
folders=${FOLDERS:-$build/veilfolders}
sizes=${SIZES:-1000 20000 100000}
bench=$build/bench/bench_opendialog
[ -x "$bench" ] || { echo "no $bench; build first" >&2; exit 2; }
for c in Xvfb openbox python3; do command -v $c >/dev/null || { echo "$c is needed" >&2; exit 2; }; done

# Small files of the ciphered kind's name; the dialogs read names and status only.
mkdir -p "$folders"
for n in $sizes; do
    d=$folders/$n
    [ -d "$d" ] && [ "$(find "$d" -maxdepth 1 -name 'photo*.veil' | wc -l)" = "$n" ] && continue
    echo "making $n files in $d ..." >&2
    rm -rf "$d"; mkdir -p "$d"
    python3 - "$d" "$n" <<'PY'
import sys
for i in range(int(sys.argv[2])):
    with open('%s/photo%06d.veil' % (sys.argv[1], i), 'wb') as f:
        f.write(b'\0' * 200)
PY
done
for n in $sizes; do ls -f "$folders/$n" > /dev/null; done  # the folders in the cache, for both alike

work=$(mktemp -d)
display=:${VEILSHOT_BENCH_DISPLAY:-13}
. "$(dirname "$0")/xsession.sh"

# shellcheck disable=SC2086
"$bench" "$folders" "$rounds" $sizes
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
