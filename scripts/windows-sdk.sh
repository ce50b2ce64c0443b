#!/usr/bin/env bash
# Builds the libraries of the Windows build (64-bit, MinGW-w64, posix threads)
# from Debian's own source packages, with Debian's patches, into a prefix
# outside the tree:
#
#   ${TAVREN_WINDOWS_SDK:-~/.cache/brisolm-tavren/windows-sdk}
#
# DLLs for everything but GoogleTest; .pc files and CMake configs for finding
# them with cmake/mingw-w64-x86_64.cmake.  Sources, build trees and one log
# per package go to the work folder beside the prefix (PREFIX.work).
#
# A package that finished is not built again: a rerun after an interruption
# goes on with the unfinished one (and ninja with its half-built tree).  When
# this script or the toolchain file changes, everything is built anew.
# Usage: scripts/windows-sdk.sh   (or make windows-sdk)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
self=$root/scripts/windows-sdk.sh
toolchain=$root/cmake/mingw-w64-x86_64.cmake
sdk=${TAVREN_WINDOWS_SDK:-$HOME/.cache/brisolm-tavren/windows-sdk}
sdk=${sdk%/}
export TAVREN_WINDOWS_SDK=$sdk
work=$sdk.work
stamp=$sdk/windows-sdk.stamp
jobs=$(nproc)
triple=x86_64-w64-mingw32

# Built in this order: each one's dependencies come before it.
packages=(libjpeg-turbo libpng1.6 tiff libwebp libde265 libheif expat exiv2
          googletest qt6-base qt6-svg)
# Built where their source can be fetched, left out where it cannot (some
# mirrors lack qt6-svg's source): the window then carries its pictures as
# bitmaps drawn from its SVG files at build time.
optional_packages=" qt6-svg "

say() { printf 'windows-sdk: %s\n' "$*"; }

# --- The build machine's packages ------------------------------------------

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"
  elif command -v sudo >/dev/null 2>&1; then sudo "$@"
  else say "need root (or sudo) for: $*" >&2; exit 1
  fi
}

install_tools() {
  local needed=(
    g++-mingw-w64-x86-64-posix   # x86_64-w64-mingw32-gcc-posix/-g++-posix, windres
    libz-mingw-w64-dev           # zlib, already built for MinGW
    cmake ninja-build pkg-config
    nasm                         # libjpeg-turbo's SIMD
    dpkg-dev                     # dpkg-source, for apt-get source
    qt6-base-dev qt6-svg-dev     # moc, rcc, uic and Qt's CMake host tools
  ) missing=() p status
  for p in "${needed[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    say "installing: ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  fi

  # apt-get source needs deb-src entries: the same suites as the deb ones.
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    local from=/etc/apt/sources.list.d/debian.sources
    [ -f "$from" ] || { say "no $from to take the deb-src suites from" >&2; exit 1; }
    say "adding deb-src entries (/etc/apt/sources.list.d/debian-src.sources)"
    sed 's/^Types:.*/Types: deb-src/' "$from" |
      as_root tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
    as_root apt-get update -qq
  fi
}

# --- Steps, logs, progress -------------------------------------------------

pkg='' step='' log='' watcher=''

stop_watcher() {
  if [ -n "$watcher" ]; then
    kill "$watcher" 2>/dev/null || true
    wait "$watcher" 2>/dev/null || true
    watcher=''
  fi
}
trap stop_watcher EXIT

fail() {
  stop_watcher
  say "FAILED: $pkg, step $step (log: $log); its last lines:" >&2
  tail -n 40 "$log" | sed 's/^/  | /' >&2
  summary >&2
  exit 1
}

interrupted() {
  stop_watcher
  say "interrupted${pkg:+ in $pkg, step $step}; run it again to go on from there" >&2
  exit 130
}
trap interrupted INT TERM

# run STEP COMMAND...: appends the command's output to the package's log.
run() {
  step=$1; shift
  printf '\n### %s: %s\n' "$step" "$*" >>"$log"
  "$@" >>"$log" 2>&1 || fail
}

# Every 30 s, the last [done/total] line of ninja in the log.
watch_progress() {
  local last='' now
  while sleep 30; do
    now=$(tail -c 65536 "$log" 2>/dev/null | grep -ao '^\[[0-9]*/[0-9]*\]' | tail -n 1 || true)
    if [ -n "$now" ] && [ "$now" != "$last" ]; then
      say "  $pkg: $now"; last=$now
    fi
  done
}

# cmake_build SRC BUILD [cmake options]: configure once (a half-built tree is
# kept as it is), build and install, compilers at the lowest priority.
cmake_build() {
  local src=$1 build=$2; shift 2
  if [ ! -f "$build/.configured" ]; then
    rm -rf "$build"
    run configure nice -n 19 cmake -G Ninja -S "$src" -B "$build" \
      -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
      -DCMAKE_INSTALL_PREFIX="$sdk" \
      -DCMAKE_BUILD_TYPE=Release \
      "$@"
    touch "$build/.configured"
  fi
  # Without the lock's descriptor: its last sleep outlives it a little.
  watch_progress 9>&- & watcher=$!
  run build nice -n 19 cmake --build "$build" -j "$jobs"
  stop_watcher
  run install cmake --install "$build"
}

# --- Sources ---------------------------------------------------------------

# The Debian versions of a source package, newest first.
source_versions() {
  local v sorted=() i j t
  while read -r v; do sorted+=("$v"); done < <(apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -u)
  for ((i = 0; i < ${#sorted[@]}; i++)); do
    for ((j = i + 1; j < ${#sorted[@]}; j++)); do
      if dpkg --compare-versions "${sorted[j]}" gt "${sorted[i]}"; then
        t=${sorted[i]}; sorted[i]=${sorted[j]}; sorted[j]=$t
      fi
    done
  done
  printf '%s\n' "${sorted[@]}"
}

# fetch PKG: Debian's source, patches applied, in $work/src/PKG; sets $version.
# The newest version whose files the archive serves (a security update can
# be listed before its files are there).
fetch() {
  local src=$work/src/$pkg dl=$work/downloads/$pkg v dsc
  step=fetch
  if [ -f "$src.version" ] && [ -d "$src" ]; then
    version=$(cat "$src.version"); return
  fi
  mkdir -p "$dl"
  version=''
  for v in $(source_versions "$pkg"); do
    printf '\n### fetch: apt-get source --download-only %s=%s\n' "$pkg" "$v" >>"$log"
    if (cd "$dl" && apt-get source --download-only --only-source -q "$pkg=$v") >>"$log" 2>&1; then
      version=$v; break
    fi
  done
  if [ -z "$version" ]; then
    printf '\nNo version of %s could be downloaded: %s\n' "$pkg" "$(source_versions "$pkg" | tr '\n' ' ')" >>"$log"
    [[ $optional_packages == *" $pkg "* ]] && return 1
    fail
  fi
  dsc=$dl/${pkg}_${version#*:}.dsc
  rm -rf "$src"
  run fetch dpkg-source -x "$dsc" "$src"
  echo "$version" >"$src.version"
}

# --- The packages ----------------------------------------------------------

# Settings every package gets; BUILD_SHARED_LIBS gives DLLs.
common=(-DBUILD_SHARED_LIBS=ON -DBUILD_TESTING=OFF)

build_package() {
  local src=$work/src/$pkg build=$work/build/$pkg
  case $pkg in
    libjpeg-turbo)
      # The libjpeg 6.2 API (libjpeg-62.dll) and TurboJPEG; SIMD through nasm,
      # required so that a missing nasm cannot give a slow library.
      cmake_build "$src" "$build" "${common[@]}" \
        -DENABLE_SHARED=ON -DENABLE_STATIC=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON \
        -DWITH_JPEG8=OFF -DWITH_TURBOJPEG=ON -DWITH_JAVA=OFF \
        -DCMAKE_ASM_NASM_COMPILER=nasm ;;
    libpng1.6)
      cmake_build "$src" "$build" "${common[@]}" \
        -DPNG_SHARED=ON -DPNG_STATIC=OFF -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF ;;
    tiff)
      # The codecs that need no library we do not build: zlib's deflate,
      # LZW, PackBits, CCITT, LogLuv, PixarLog and JPEG (through libjpeg-62).
      cmake_build "$src" "$build" "${common[@]}" \
        -Dtiff-tools=OFF -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF \
        -Dzlib=ON -Djpeg=ON -Dold-jpeg=ON -Dpixarlog=ON \
        -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF \
        -Dlibdeflate=OFF -Djpeg12=OFF -Dsphinx=OFF ;;
    libwebp)
      # The libraries (libwebp, libwebpdemux, libwebpmux, libwebpdecoder),
      # none of the programs.
      cmake_build "$src" "$build" "${common[@]}" \
        -DWEBP_BUILD_ANIM_UTILS=OFF -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF \
        -DWEBP_BUILD_GIF2WEBP=OFF -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF \
        -DWEBP_BUILD_WEBPINFO=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF \
        -DWEBP_BUILD_LIBWEBPMUX=ON ;;
    libde265)
      # The decoder library alone (no SDL player, no encoder).
      cmake_build "$src" "$build" "${common[@]}" \
        -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF ;;
    libheif)
      # HEIC decoding through libde265, linked in; no encoders, no AVIF (no
      # AV1 decoder is built here), no plugin loading, no examples.
      cmake_build "$src" "$build" "${common[@]}" \
        -DENABLE_PLUGIN_LOADING=OFF -DWITH_EXAMPLES=OFF \
        -DWITH_LIBDE265=ON -DWITH_LIBDE265_PLUGIN=OFF \
        -DWITH_X265=OFF -DWITH_DAV1D=OFF -DWITH_AOM_DECODER=OFF \
        -DWITH_AOM_ENCODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF ;;
    expat)
      # Debian's security patches test `#if XML_DTD == 1`, as the autotools
      # config.h defines it; CMake's template defines it empty.
      sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$src/expat/expat_config.h.cmake"
      cmake_build "$src/expat" "$build" "${common[@]}" \
        -DEXPAT_SHARED_LIBS=ON -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
        -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=ON ;;
    exiv2)
      # As Debian builds it (XMP, PNG, BMFF), less what would need more
      # libraries (NLS, webready/curl, video) and the programs.
      cmake_build "$src" "$build" "${common[@]}" \
        -DEXIV2_ENABLE_XMP=ON -DEXIV2_ENABLE_PNG=ON -DEXIV2_ENABLE_BMFF=ON \
        -DEXIV2_ENABLE_NLS=OFF -DEXIV2_ENABLE_WEBREADY=OFF -DEXIV2_ENABLE_CURL=OFF \
        -DEXIV2_ENABLE_SSH=OFF -DEXIV2_ENABLE_VIDEO=OFF \
        -DEXIV2_BUILD_SAMPLES=OFF -DEXIV2_BUILD_EXIV2_COMMAND=OFF \
        -DEXIV2_BUILD_UNIT_TESTS=OFF -DEXIV2_BUILD_FUZZ_TESTS=OFF -DEXIV2_BUILD_DOC=OFF ;;
    googletest)
      # Static: tests link it into their .exe.
      cmake_build "$src" "$build" -DBUILD_SHARED_LIBS=OFF \
        -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON ;;
    qt6-base)
      # Core, Gui, Widgets, the windows platform plugin and styles.  Host
      # tools (moc, rcc, uic) from Debian's Qt of the same version.  The
      # +dfsg source lacks wintab.h, hence no tablet events.  No OpenGL:
      # FEATURE_opengl=OFF alone leaves dynamicgl on, and the windows plugin
      # then fails on QOpenGLStaticContext; INPUT_opengl=no turns off all
      # of it in a new tree, the two features named also in a configured
      # one.  zlib from MinGW; Qt keeps its own libpng and libjpeg.
      cmake_build "$src" "$build" "${common[@]}" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DFEATURE_tabletevent=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF \
        -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
        -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF -DFEATURE_dynamicgl=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_system_zlib=ON -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF ;;
    qt6-svg)
      # The Svg module and the imageformats/qsvg.dll plugin, on the Qt above.
      cmake_build "$src" "$build" "${common[@]}" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF ;;
    *) say "no recipe for $pkg" >&2; exit 1 ;;
  esac
}

# MinGW's zlib and C++ runtime DLLs beside ours, so that bin/ alone runs;
# without their debugging symbols (libstdc++-6.dll: 23 MB to 4 MB).
copy_runtime() {
  local gcc_dir dll
  gcc_dir=$(dirname "$("$triple-gcc-posix" -print-libgcc-file-name)")
  for dll in "/usr/$triple/lib/zlib1.dll" "/usr/$triple/lib/libwinpthread-1.dll" \
             "$gcc_dir/libgcc_s_seh-1.dll" "$gcc_dir/libstdc++-6.dll"; do
    [ -f "$dll" ] || { say "missing $dll" >&2; exit 1; }
    "$triple-strip" --strip-debug -o "$sdk/bin/${dll##*/}" "$dll"
  done
}

# --- Main --------------------------------------------------------------------

hash=$(cat "$self" "$toolchain" | sha256sum | cut -d' ' -f1)

if [ -f "$stamp" ] && [ "$(sed -n 's/^script-sha256 //p' "$stamp")" = "$hash" ] &&
   grep -qx 'complete' "$stamp"; then
  say "up to date: $sdk"
  exit 0
fi

# One run at a time per prefix: a second one would remove what the first
# is building.
mkdir -p "$(dirname "$sdk")"
exec 9>"$sdk.lock"
if ! flock -n 9; then
  say "another run is building $sdk; not starting a second one" >&2
  exit 1
fi

started=$SECONDS
install_tools
for tool in "$triple-gcc-posix" "$triple-g++-posix" "$triple-windres" nasm ninja; do
  command -v "$tool" >/dev/null || { say "missing $tool" >&2; exit 1; }
done

# Another script or toolchain file than the one that began this SDK: begin
# anew.  Only a folder that this script made is ever removed.
if [ "$(cat "$work/script-sha256" 2>/dev/null || true)" != "$hash" ]; then
  for dir in "$sdk" "$work"; do
    if [ -d "$dir" ] && [ -n "$(ls -A "$dir")" ] && [ ! -f "$dir/.tavren-windows-sdk" ]; then
      say "$dir is not empty and was not made by this script; not touching it" >&2
      exit 1
    fi
  done
  [ -d "$sdk" ] && say "the script changed: building the SDK anew"
  rm -rf "$sdk" "$work/src" "$work/build" "$work/logs" "$work/done"
  mkdir -p "$sdk" "$work"
  touch "$sdk/.tavren-windows-sdk" "$work/.tavren-windows-sdk"
  echo "$hash" >"$work/script-sha256"
fi
mkdir -p "$work/src" "$work/build" "$work/logs" "$work/done" "$sdk/bin"

write_stamp() {
  {
    echo "script-sha256 $hash"
    local p
    for p in "${packages[@]}"; do
      [ -f "$work/done/$p" ] && echo "$p $(cut -d' ' -f2 "$work/done/$p")"
    done
    if [ "${1:-}" = complete ]; then echo complete; fi
  } >"$stamp.new"
  mv "$stamp.new" "$stamp"
}

# The time of each package, from its marker (so earlier runs count too).
summary() {
  local p h v secs total=0
  say "time per package (earlier runs included):"
  for p in "${packages[@]}"; do
    if [ -f "$work/done/$p" ]; then
      read -r h v secs <"$work/done/$p"
      total=$((total + secs))
      printf '  %-14s %-22s %3d min %2d s\n' "$p" "$v" $((secs / 60)) $((secs % 60))
    else
      printf '  %-14s %-22s\n' "$p" "not built"
    fi
  done
  printf '  %-37s %3d min %2d s\n' "all packages" $((total / 60)) $((total % 60))
  say "this run took $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s"
}

say "prefix $sdk, work folder $work, $jobs jobs at nice 19"
n=${#packages[@]} k=0
for pkg in "${packages[@]}"; do
  k=$((k + 1))
  log=$work/logs/$pkg.log
  marker=$work/done/$pkg
  if [ -f "$marker" ] && [ "$(cut -d' ' -f1 "$marker")" = "$hash" ]; then
    say "[$k/$n] $pkg $(cut -d' ' -f2 "$marker"): done before"
    continue
  fi
  t0=$SECONDS
  say "[$k/$n] $pkg: fetching"
  if ! fetch; then
    say "[$k/$n] $pkg: left out, its source cannot be fetched here (log: $log)"
    continue
  fi
  say "[$k/$n] $pkg $version: building (log: $log)"
  build_package
  echo "$hash $version $((SECONDS - t0))" >"$marker"
  write_stamp
  say "[$k/$n] $pkg $version: done in $(( (SECONDS - t0) / 60 )) min $(( (SECONDS - t0) % 60 )) s"
done

pkg=runtime step=install log=$work/logs/runtime.log
copy_runtime
write_stamp complete

say "complete: $sdk ($(du -sh "$sdk" | cut -f1))"
summary
