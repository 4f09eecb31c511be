#!/usr/bin/env bash
# The sealed format against the keyed one, its peer, in one run:
#   cipher  Cipfoto of 256 MiB to a file on the disk          target sealed / keyed <= 1.5
#   show    a 24 MP JPEG deciphered and decoded for the screen,
#           the key already stretched                          target sealed / keyed <= 1.05
#   stretch one key stretch on a freshly built engine          target <= 0.5 s
#   preview the ciphered grid's load of 84 photos of one code
#           entry, sealed with previews (as the main window
#           ciphers) against the same photos keyed           target sealed / keyed <= 1.05
#           and sealed without previews, shown for reference
# The Google Benchmark rows run REPS repetitions with the rows interleaved at random, and the
# figures are their medians, each with its spread (lowest..highest). The grid runs one process
# per load, the formats in turns, ROUNDS rounds; the sealed load is timed twice: under a code
# entered anew (its one key is stretched during the load, as a user who opens the grid first
# meets it) and with that key stretched beforehand; next to the wall time, the processor time
# of all the process's threads, which the other work on a shared machine disturbs far less.
# The machine's load average is printed too.
#   usage: bench/sealed_vs_keyed.sh [BUILD_DIR]     (default build/release)
#   environment: REPS (default 3), ROUNDS (default 3), FOLDER (photos for the grid, made once and
#   kept when given; default a temporary folder in BUILD_DIR), PARTS (default "cipher show grid")
set -euo pipefail
build=${1:-build/release}
reps=${REPS:-3}
rounds=${ROUNDS:-3}
parts=" ${PARTS:-cipher show grid} "
for b in bench_cipher bench_show bench_preview; do
  [ -x "$build/bench/$b" ] || { echo "no $build/bench/$b; build first" >&2; exit 2; }
done
work=$(mktemp -d "$build/sealed-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

verdict() {  # value target
  awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t ? "ok" : "OVER") }'
}

# Runs a Google Benchmark binary; the CSV report goes to $work/NAME.csv.
gbench() {  # name binary filter
  TMPDIR=$work "$build/bench/$2" --benchmark_filter="$3" --benchmark_repetitions="$reps" \
    --benchmark_enable_random_interleaving=true --benchmark_out_format=csv \
    --benchmark_out="$work/$1.csv" > "$work/$1.txt" 2>&1
}

# "median lowest highest" of numbers, one a line.
spread() { sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) print "0 0 0"; else print v[int((NR + 1) / 2)], v[1], v[NR] }'; }

# A row's repetitions in ms, one a line.
row_times() {  # csv row
  awk -F, -v row="\"$2\"" '$1 == row {
      t = $3; u = $5; gsub(/"/, "", u)
      printf "%.1f\n", u == "ns" ? t / 1e6 : u == "us" ? t / 1e3 : u == "s" ? t * 1e3 : t
    }' "$1"
}
stats() { row_times "$1" "$2" | spread; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

row() {  # label median min max
  printf "  %-34s %9.1f ms  (%.1f..%.1f)\n" "$1" "$2" "$3" "$4"
}

echo "== load average $(cut -d' ' -f1-3 /proc/loadavg), $reps repetitions, $rounds grid rounds"

if [[ $parts == *" cipher "* ]]; then
gbench cipher bench_cipher 'CipherInFormat|StretchKey|BuildKeyTable'
read -r ck ckl ckh < <(stats "$work/cipher.csv" "CipherInFormat/Keyed/268435456")
read -r cs csl csh < <(stats "$work/cipher.csv" "CipherInFormat/Sealed/268435456")
read -r sk skl skh < <(stats "$work/cipher.csv" "StretchKey")
read -r bk bkl bkh < <(stats "$work/cipher.csv" "BuildKeyTable")
echo "cipher 256 MiB to the disk"
row "keyed" "$ck" "$ckl" "$ckh"
row "sealed" "$cs" "$csl" "$csh"
r=$(ratio "$cs" "$ck")
echo "  sealed / keyed = $r  (target <= 1.5: $(verdict "$r" 1.5))"
echo "key stretch"
row "keyed key table (peer)" "$bk" "$bkl" "$bkh"
row "sealed key stretch" "$sk" "$skl" "$skh"
echo "  stretch = $(awk -v s="$sk" 'BEGIN { printf "%.3f", s / 1e3 }') s  (target <= 0.5 s: $(verdict "$sk" 500))"

fi

if [[ $parts == *" show "* ]]; then
gbench show bench_show 'CipheredShownForTheScreen'
read -r hk hkl hkh < <(stats "$work/show.csv" "CipheredShownForTheScreen/Keyed")
read -r hs hsl hsh < <(stats "$work/show.csv" "CipheredShownForTheScreen/Sealed")
echo "24 MP JPEG shown for the screen"
row "keyed" "$hk" "$hkl" "$hkh"
row "sealed" "$hs" "$hsl" "$hsh"
r=$(ratio "$hs" "$hk")
echo "  sealed / keyed = $r  (target <= 1.05: $(verdict "$r" 1.05))"

fi

[[ $parts == *" grid "* ]] || exit 0
folder=${FOLDER:-$work/photos}
if [ ! -d "$folder/keyed" ] || [ ! -d "$folder/whole" ]; then
  mkdir -p "$folder"
  "$build/bench/bench_preview" make "$folder"
fi
declare -A grid cpu
for _ in $(seq "$rounds"); do
  for mode in keyed ciphered stretched whole; do
    read -r secs _ drawn keys cpusecs < <("$build/bench/bench_preview" "$mode" "$folder" 2> /dev/null)
    grid[$mode]+=" $(awk -v s="$secs" 'BEGIN { printf "%.1f", s * 1e3 }')"
    cpu[$mode]+=" $(awk -v s="$cpusecs" 'BEGIN { printf "%.1f", s * 1e3 }')"
    [ "$mode" = keyed ] || [ "$keys" = "$([ "$mode" = ciphered ] && echo 1 || echo 0)" ] ||
      echo "  ($mode stretched $keys keys during the load)"
    [ "$drawn" -gt 0 ] || { echo "the $mode grid drew nothing" >&2; exit 1; }
  done
done
listed() { tr ' ' '\n' | sed '/^$/d' | spread; }
echo "ciphered grid, 84 photos of 24 MP: wall time, then processor time of all threads"
for what in grid cpu; do
  declare -n of=$what
  read -r gk gkl gkh < <(echo "${of[keyed]}" | listed)
  read -r gc gcl gch < <(echo "${of[ciphered]}" | listed)
  read -r gs gsl gsh < <(echo "${of[stretched]}" | listed)
  read -r gw gwl gwh < <(echo "${of[whole]}" | listed)
  row "$what: keyed" "$gk" "$gkl" "$gkh"
  row "$what: sealed, key stretched in it" "$gc" "$gcl" "$gch"
  row "$what: sealed, key stretched before" "$gs" "$gsl" "$gsh"
  row "$what: sealed without previews" "$gw" "$gwl" "$gwh"
  r=$(ratio "$gc" "$gk")
  echo "  $what: sealed / keyed = $r  (target <= 1.05: $(verdict "$r" 1.05))"
  r=$(ratio "$gs" "$gk")
  echo "  $what: sealed, stretched before / keyed = $r  (target <= 1.05: $(verdict "$r" 1.05))"
  echo "  $what: sealed without previews / keyed = $(ratio "$gw" "$gk")  (every photo deciphered whole)"
  unset -n of
done
echo "== load average $(cut -d' ' -f1-3 /proc/loadavg)"
