#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need and
# that are missing.  Usage: scripts/deps.sh [run|test|package|windows]
set -euo pipefail

kind=${1:-run}
packages=(
  build-essential cmake pkg-config
  libjpeg62-turbo-dev
  libexiv2-dev             # --keep-metadata: the source's EXIF, XMP and IPTC
  libheif-dev libpng-dev libtiff-dev libwebp-dev zlib1g-dev   # the other formats read in
  qt6-base-dev qt6-svg-dev libgl-dev
  libgtest-dev libbenchmark-dev
)
if [ "$kind" = test ] || [ "$kind" = package ]; then
  packages+=(
    dpkg-dev                 # dpkg-shlibdeps: the package's library dependencies
    lintian                  # checks the package as Debian would
  )
fi
if [ "$kind" = test ]; then
  packages+=(
    libimage-exiftool-perl   # reads back what our JPEG export writes
    imagemagick              # makes BMP, PNG and TIFF variants for the decoder tests
    libheif-examples webp    # heif-enc/heif-convert, cwebp/dwebp/img2webp: the same for HEIF and WebP
    libjpeg-turbo-progs      # djpeg/cjpeg for the benchmarks
    clang libclang-rt-14-dev libfuzzer-14-dev
    xvfb xauth xdotool x11-utils   # the window on a real X display
    desktop-file-utils       # validates the installed desktop entry
    appstream                # validates the installed AppStream metadata
    bash-completion          # runs the completion of tavren
    locales                  # a user's locale for the folder-order tests
  )
fi

if [ "$kind" = windows ]; then
  packages+=(
    g++-mingw-w64-x86-64-posix libz-mingw-w64-dev ninja-build   # the cross build
    nsis                     # the installer (CPack's NSIS generator)
    librsvg2-bin             # the window's pictures as bitmaps, for a Qt without SVG
    wine64                   # runs the Windows programs and tests
    xvfb xauth xdotool x11-apps imagemagick   # the window under Wine, and a look at it
  )
fi

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo=sudo; else
    echo "Need root (or sudo) to install: ${missing[*]}" >&2; exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
