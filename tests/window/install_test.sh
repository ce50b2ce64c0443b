#!/bin/sh
# Installs a build tree into a fresh prefix and checks that every file lands
# where the desktop expects it.
# Usage: install_test.sh BUILD_DIR SOURCE_DIR WINDOW_BUILT(0|1)
set -eu

build=$1
source=$2
window=$3

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

fail() { echo "install: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

[ -x "$prefix/bin/tavren" ] || fail "bin/tavren is missing or not executable"
"$prefix/bin/tavren" --version | grep -q '^tavren [0-9]*\.[0-9]*\.[0-9]*$' \
  || fail "the installed tavren does not report its version"

# The page is also copied next to the program in the build tree.
cmp -s "$source/window/help/BrisolmTavren Help.html" "$build/window/BrisolmTavren Help.html" \
  || fail "the help page is not beside the built program"

if [ "$window" = 1 ]; then
  [ -x "$prefix/bin/brisolm-tavren" ] || fail "bin/brisolm-tavren is missing"
  # The installed program looks for its page in its data folder.
  cmp -s "$source/window/help/BrisolmTavren Help.html" \
         "$prefix/share/brisolm-tavren/BrisolmTavren Help.html" \
    || fail "the help page is not in the data folder"
  [ ! -e "$prefix/bin/BrisolmTavren Help.html" ] || fail "the help page is among the programs"
  entry="$prefix/share/applications/brisolm-tavren.desktop"
  [ -f "$entry" ] || fail "desktop entry is missing"
  grep -qx 'Exec=brisolm-tavren %f' "$entry" || fail "desktop entry does not start the program"
  grep -qx 'MimeType=image/jpeg;image/bmp;image/heic;image/heif;image/avif;image/png;image/tiff;image/webp;' \
    "$entry" || fail "desktop entry misses its picture kinds"
  grep -qx 'Icon=brisolm-tavren' "$entry" || fail "desktop entry names another icon"
  cmp -s "$source/window/resources/app_icon.svg" \
         "$prefix/share/icons/hicolor/scalable/apps/brisolm-tavren.svg" \
    || fail "the icon is missing"
  # A PNG's size stands in its header: width and height, 32 bits each.
  png_size=$(od -An -tx1 -j16 -N8 "$prefix/share/icons/hicolor/256x256/apps/brisolm-tavren.png" | tr -d ' \n')
  [ "$png_size" = 0000010000000100 ] || fail "the bitmap icon is not 256x256 ($png_size)"
  if command -v desktop-file-validate >/dev/null 2>&1; then
    desktop-file-validate "$entry" || fail "desktop entry does not validate"
  fi
  metainfo="$prefix/share/metainfo/example.brisolm_imaging.tavren.metainfo.xml"
  version=$("$prefix/bin/tavren" --version | cut -d' ' -f2)
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"/>" "$metainfo" \
    || fail "the AppStream metadata lacks the release of version $version"
  if command -v appstreamcli >/dev/null 2>&1; then
    appstreamcli validate --no-net "$metainfo" >/dev/null || fail "AppStream metadata does not validate"
  fi
else
  # Without the window nothing may point at a program that is not there.
  [ ! -e "$prefix/share/applications/brisolm-tavren.desktop" ] \
    || fail "desktop entry installed without the window program"
fi
echo "install: ok ($prefix)"
