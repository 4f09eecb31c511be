#!/usr/bin/env bash
# Times `veil cipher` and `veil decipher` of a 256 MiB file against a plain copy of the same
# bytes, warm cache, on two file systems. On a folder on the build directory's disk the copy
# is `dd bs=1M conv=fsync`: veil puts every file it writes on the disk before it ends, and so
# does that dd, while `cp` leaves its data in the page cache. On /dev/shm, where syncing costs
# nothing, the copy is `cp`. The runs are interleaved (copy, veil, copy, veil, ...) so that a
# slower or faster moment of the machine falls on both alike; each figure is the median of the
# rounds. `openssl enc -aes-128-ctr` is timed alongside the cipher as a second peer. Peak
# memory comes from /usr/bin/time -v.
# Targets: veil / dd <= 1.1 on the disk, veil / cp <= 1.25 on /dev/shm, for both commands;
# peak RSS under 32 MB. The machine's load average is printed with the figures.
#   usage: bench/cipher_vs_peers.sh [BUILD_DIR]     (default build/release)
#   environment: ROUNDS (default 7), SIZE_MIB (default 256), VEIL (default BUILD_DIR/src/cli/veil)
set -euo pipefail
build=${1:-build/release}
veil=${VEIL:-$build/src/cli/veil}
rounds=${ROUNDS:-7}
size_mib=${SIZE_MIB:-256}
[ -x "$veil" ] || { echo "no $veil; build first" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed for peak memory (Debian: apt-get install time)" >&2; exit 2; }
have_openssl=1
command -v openssl >/dev/null || have_openssl=0

disk_work=$(mktemp -d "$build/cipher-bench.XXXXXX")
shm_work=$(mktemp -d /dev/shm/cipher-bench.XXXXXX)
trap 'rm -rf "$disk_work" "$shm_work"' EXIT

now() { date +%s%N; }

# Runs the command once after the output folder is emptied and pending writes are flushed, so
# no run pays for the one before it. Prints nanoseconds.
timed() {
  local work=$1
  shift
  rm -f "$work/out/"*
  sync
  local start end
  start=$(now)
  "$@" > /dev/null 2>&1
  end=$(now)
  echo $((end - start))
}

median() { tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Peak resident set of one run, in kB.
peak_kb() {
  local work=$1
  shift
  rm -f "$work/out/"*
  /usr/bin/time -v -o "$work/time.txt" "$@" > /dev/null 2>&1
  awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt"
}

verdict() {  # ratio target
  awk -v r="$1" -v t="$2" 'BEGIN { print (r <= t ? "ok" : "OVER") }'
}

# The plain copy a run is measured against.
copy_with() {  # peer from to
  case $1 in
    dd) dd if="$2" of="$3" bs=1M conv=fsync status=none ;;
    cp) cp "$2" "$3" ;;
  esac
}

bench_on() {  # label work peer target
  local label=$1 work=$2 peer=$3 target=$4
  mkdir -p "$work/out" "$work/veil"
  head -c $((size_mib << 20)) /dev/urandom > "$work/photo.jpg"
  printf 'benchmark code\n' > "$work/code.txt"
  "$veil" cipher --code-file "$work/code.txt" --into "$work/veil" "$work/photo.jpg"
  cat "$work/photo.jpg" "$work/veil/photo.veil" > /dev/null  # warm the cache

  local cipher=(cipher --code-file "$work/code.txt" --into "$work/out" "$work/photo.jpg")
  local decipher=(decipher --code-file "$work/code.txt" --into "$work/out" "$work/veil/photo.veil")
  local t_cp="" t_ssl="" t_veil_c="" t_cp_veil="" t_veil_d=""
  for _ in $(seq "$rounds"); do
    t_cp+=" $(timed "$work" copy_with "$peer" "$work/photo.jpg" "$work/out/photo.jpg")"
    t_veil_c+=" $(timed "$work" "$veil" "${cipher[@]}")"
    if [ "$have_openssl" = 1 ]; then
      t_ssl+=" $(timed "$work" openssl enc -aes-128-ctr -K 000102030405060708090a0b0c0d0e0f \
        -iv 000102030405060708090a0b0c0d0e0f -in "$work/photo.jpg" -out "$work/out/photo.aes")"
    fi
    t_cp_veil+=" $(timed "$work" copy_with "$peer" "$work/veil/photo.veil" "$work/out/photo.veil")"
    t_veil_d+=" $(timed "$work" "$veil" "${decipher[@]}")"
  done
  local rss_c rss_d rss_cp
  rss_cp=$(peak_kb "$work" cp "$work/photo.jpg" "$work/out/photo.jpg")
  rss_c=$(peak_kb "$work" "$veil" "${cipher[@]}")
  rss_d=$(peak_kb "$work" "$veil" "${decipher[@]}")
  cmp -s "$work/photo.jpg" "$work/out/photo.jpg" || { echo "deciphered copy differs from the source" >&2; exit 1; }

  local m_cp m_c m_cpv m_d m_ssl
  m_cp=$(echo "$t_cp" | median)
  m_c=$(echo "$t_veil_c" | median)
  m_cpv=$(echo "$t_cp_veil" | median)
  m_d=$(echo "$t_veil_d" | median)
  m_ssl=$([ "$have_openssl" = 1 ] && echo "$t_ssl" | median || echo 0)
  local r_c r_d
  r_c=$(awk -v a="$m_c" -v b="$m_cp" 'BEGIN { printf "%.2f", a / b }')
  r_d=$(awk -v a="$m_d" -v b="$m_cpv" 'BEGIN { printf "%.2f", a / b }')

  echo "== $label ($work), ${size_mib} MiB, median of $rounds interleaved rounds; load average $(cut -d' ' -f1-3 /proc/loadavg)"
  awk -v cp="$m_cp" -v c="$m_c" -v cpv="$m_cpv" -v d="$m_d" -v ssl="$m_ssl" -v peer="$peer" 'BEGIN {
    printf "  %-4s photo         %.3f s\n  veil cipher       %.3f s\n", peer, cp / 1e9, c / 1e9
    if (ssl > 0) printf "  openssl aes-ctr   %.3f s   (veil cipher / openssl = %.2f)\n", ssl / 1e9, c / ssl
    printf "  %-4s .veil         %.3f s\n  veil decipher     %.3f s\n", peer, cpv / 1e9, d / 1e9
  }'
  echo "  veil cipher   / $peer = $r_c  (target <= $target: $(verdict "$r_c" "$target"))"
  echo "  veil decipher / $peer = $r_d  (target <= $target: $(verdict "$r_d" "$target"))"
  awk -v c="$rss_c" -v d="$rss_d" -v cp="$rss_cp" 'BEGIN {
    printf "  peak RSS: cipher %.1f MB, decipher %.1f MB, cp %.1f MB  (target < 32 MB: %s)\n",
      c * 1024 / 1e6, d * 1024 / 1e6, cp * 1024 / 1e6, (c * 1024 < 32e6 && d * 1024 < 32e6) ? "ok" : "OVER"
  }'
}

bench_on "disk, durable" "$disk_work" dd 1.1
rm -rf "${disk_work:?}/"*
bench_on "/dev/shm" "$shm_work" cp 1.25
