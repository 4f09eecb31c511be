#!/usr/bin/env bash
# Builds the Debian package with CPack and checks its control data and contents: every shared
# library the programs link comes from a package it depends on, and the desktop files are in.
# check_package.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.txt" 2>&1 || { cat "$work/cpack.txt"; exit 1; }
arch=$(dpkg --print-architecture)
deb=$work/veilshot_${version}_$arch.deb
[ -f "$deb" ] || { ls "$work"; echo "FAIL: no veilshot_${version}_$arch.deb"; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = veilshot ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section: $(field Section)"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
echo "Depends: $depends"
# Every reader below reads its input to the end: under pipefail, a reader that stops early (grep
# -q, awk's exit) leaves the writer killed by SIGPIPE, and the script ends without a word.
depends_on() { tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -x "$1" >/dev/null; }

# The package of every library the installed programs link, found from the build's binaries.
for program in "$build/src/app/veilshot" "$build/src/cli/veil" "$build/src/imaging/decoder/veilshot-decode" \
  "$build/src/imaging/decoder/veilshot-decode-photo"; do
  for path in $(ldd "$program" | awk '$3 ~ /^\// { print $3 }'); do
    name=$(basename "$path")
    objdump -p "$program" | grep "NEEDED *$name\$" >/dev/null || continue
    owner=$(dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")" 2>/dev/null || dpkg -S "/usr$path" 2>/dev/null) ||
      { fail "no package owns $path"; continue; }
    package=${owner%%:*}
    depends_on "$package" || fail "$(basename "$program") links $name of $package, which Depends lacks"
  done
done
# The photo decoder starts quickly: it links no Qt, and loads libjxl for JPEG XL pictures only.
heavy=$(objdump -p "$build/src/imaging/decoder/veilshot-decode-photo" | awk '$1 == "NEEDED" && $2 ~ /^lib(Qt6|jxl)/ { print $2 }')
[ -z "$heavy" ] || fail "veilshot-decode-photo links" $heavy
# What the photo decoder loads for JPEG XL pictures rather than links.
for name in libjxl libjxl_threads; do
  path=$(ldconfig -p | awk -v name="$name" 'index($1, name ".so.") == 1 && !found { print $NF; found = 1 }')
  [ -n "$path" ] || { fail "$name is not installed"; continue; }
  owner=$(dpkg -S "$(realpath "$path")" 2>/dev/null || dpkg -S "$path" 2>/dev/null) || { fail "no package owns $path"; continue; }
  depends_on "${owner%%:*}" || fail "the photo decoder loads $name of ${owner%%:*}, which Depends lacks"
done
# What Qt loads at run time rather than links.
for package in qt6-qpa-plugins qt6-image-formats-plugins fonts-urw-base35; do
  depends_on "$package" || fail "Depends lacks $package"
done

contents=$(dpkg-deb -c "$deb" | awk '{ print $6 }')
for file in ./usr/bin/veilshot ./usr/bin/veil ./usr/share/applications/org.veilshot.Veilshot.desktop \
  ./usr/share/metainfo/org.veilshot.Veilshot.metainfo.xml ./usr/share/mime/packages/org.veilshot.Veilshot.xml \
  ./usr/share/icons/hicolor/scalable/apps/org.veilshot.Veilshot.svg \
  ./usr/share/icons/hicolor/48x48/apps/org.veilshot.Veilshot.png ./usr/share/man/man1/veil.1.gz \
  ./usr/libexec/veilshot/veilshot-decode ./usr/libexec/veilshot/veilshot-decode-photo; do
  grep -qx -- "$file" <<<"$contents" || fail "the package lacks $file"
done

[ $failures -eq 0 ] && echo "$(basename "$deb"): all checks passed"
exit $((failures > 0))
