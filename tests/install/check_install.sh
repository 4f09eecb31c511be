#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what lands there as the desktop reads
# it: the programs, the desktop entry, the icons, the ".veil" file type, the AppStream
# description and the manual page, with the freedesktop validators.
# check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

id=org.veilshot.Veilshot
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
for file in bin/veilshot bin/veil libexec/veilshot/veilshot-decode \
  libexec/veilshot/veilshot-decode-photo; do
  [ -x "$prefix/$file" ] || fail "$file is missing or not executable"
done
for file in "$desktop" "$metainfo" "$prefix/share/mime/packages/$id.xml" \
  "$prefix/share/icons/hicolor/scalable/apps/$id.svg" "$prefix/share/icons/hicolor/scalable/mimetypes/application-x-veil.svg" \
  "$prefix/share/man/man1/veil.1.gz"; do
  [ -f "$file" ] || fail "${file#"$prefix"/} is missing"
done
for size in 16 22 24 32 48 64 128 256; do
  png=$prefix/share/icons/hicolor/${size}x$size/apps/$id.png
  file -b "$png" | grep -q "^PNG image data, $size x $size," || fail "icon ${size}x$size: $(file -b "$png")"
done
# Installed without DESTDIR, the MIME database knows ".veil" files at once.
if command -v update-mime-database >/dev/null; then
  grep -qx 'application/x-veil' "$prefix/share/mime/types" 2>/dev/null ||
    fail "the MIME database was not brought up to date on install"
fi
# Nothing of the build's own (headers, libraries, CMake files) is installed.
stray=$(find "$prefix" -type f \( -name '*.h' -o -name '*.a' -o -name '*.so*' -o -name '*.cmake' \))
[ -z "$stray" ] || fail "stray files: $stray"

# The desktop entry.
desktop-file-validate "$desktop" || fail "desktop-file-validate"
grep -qx 'Exec=veilshot %f' "$desktop" || fail "the desktop entry does not pass %f to veilshot"
grep -q '^MimeType=application/x-veil;' "$desktop" || fail "the desktop entry does not take .veil files"
grep -qx "Icon=$id" "$desktop" || fail "the desktop entry names another icon"

# The AppStream description, with the version of the build and the desktop entry it launches.
appstreamcli validate --no-net "$metainfo" >"$work/appstream.txt" 2>&1 || { cat "$work/appstream.txt"; fail "appstreamcli validate"; }
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "the metainfo launches another entry"

# The file type, as the shared MIME database compiles it: known by its name, no magic.
cp -r "$prefix/share/mime" "$work/mime"
update-mime-database "$work/mime" 2>/dev/null
grep -qx 'application/x-veil:\*\.veil' <(cut -d: -f2,3 "$work/mime/globs2") || fail "*.veil is not in the compiled globs"
if [ -f "$work/mime/magic" ] && grep -aq 'x-veil' "$work/mime/magic"; then fail "a magic rule for .veil files"; fi

# The manual page: a page of section 1 that names every option the command's help names.
manual=$(zcat "$prefix/share/man/man1/veil.1.gz")
grep -q '^\.TH VEIL 1 .*Veilshot '"$version" <<<"$manual" || fail "the manual page's heading"
for option in $( { "$prefix/bin/veil" --help; for c in cipher decipher check reseal; do "$prefix/bin/veil" "$c" --help; done; } |
  grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "${option//-/\\\\-}" <<<"$manual" || fail "the manual page does not name $option"
done

# The installed programs answer for the build's version.
[ "$("$prefix/bin/veil" --version)" = "veil $version" ] || fail "veil --version"
[ "$(DISPLAY= WAYLAND_DISPLAY= "$prefix/bin/veilshot" --version)" = "veilshot $version" ] || fail "veilshot --version"

# Opened as the desktop opens it, with a photo: nothing is added to the recently used files.
home=$work/home
mkdir -p "$home" "$work/photos"
cp "$prefix/share/icons/hicolor/48x48/apps/$id.png" "$work/photos/a.png"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
command=${exec_line/\%f/$work/photos/a.png}
(cd "$work" && HOME=$home XDG_DATA_HOME= XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen \
  PATH="$prefix/bin:$PATH" timeout 3 $command >/dev/null 2>&1) || [ $? -eq 124 ] || fail "$command did not start"
[ -z "$(find "$home" -name 'recently-used.xbel*')" ] || fail "recently-used.xbel was written"

[ $failures -eq 0 ] && echo "install into a prefix: all checks passed"
exit $((failures > 0))
