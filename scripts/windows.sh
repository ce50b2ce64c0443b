#!/usr/bin/env bash
# The Windows build, cross-built here with the project's own CMakeLists.
#   scripts/windows.sh        (make windows)       tavren.exe, brisolm-tavren.exe and the
#                             tests in build/windows; build/windows/dist laid out as
#                             installed; build/windows/brisolm-tavren-<version>-win64.zip
#                             and -win64-setup.exe
#   scripts/windows.sh test   (make windows-test)  the tests under Wine, then
#                             scripts/windows-check.sh against the Linux build
# Needs the Windows SDK of scripts/windows-sdk.sh (make windows-sdk).
set -euo pipefail
cd "$(dirname "$0")/.."

sdk=${TAVREN_WINDOWS_SDK:-$HOME/.cache/brisolm-tavren/windows-sdk}
export TAVREN_WINDOWS_SDK=$sdk
build=build/windows

if ! grep -qx complete "$sdk/windows-sdk.stamp" 2>/dev/null; then
  echo "windows: no complete Windows SDK in $sdk; make windows-sdk builds it" >&2
  exit 1
fi
scripts/deps.sh windows

if [ "${1:-build}" = test ]; then
  export TAVREN_WINEPREFIX=${TAVREN_WINEPREFIX:-$HOME/.cache/brisolm-tavren/wine}
  ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
  exec scripts/windows-check.sh
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
      -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
      -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/wine-run.sh" \
      -DTAVREN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

rm -rf "$build/dist"
cmake --install "$build" --prefix "$build/dist" | grep -v '^-- Installing' || true
(cd "$build" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null)
ls -l "$build"/brisolm-tavren-*-win64.zip "$build"/brisolm-tavren-*-win64-setup.exe
