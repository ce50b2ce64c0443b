#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: in a Wine prefix of the
# project's own, quietly, with the DLLs of the Windows SDK and of MinGW's
# runtime on its search path (the programs of build/windows find theirs
# there; the laid-out folder build/windows/dist has them beside them).
#   scripts/wine-run.sh PROGRAM.exe [ARGUMENT...]
set -euo pipefail

sdk=${TAVREN_WINDOWS_SDK:-$HOME/.cache/brisolm-tavren/windows-sdk}
export WINEPREFIX=${TAVREN_WINEPREFIX:-$HOME/.cache/brisolm-tavren/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=${LANG:-C.UTF-8}
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

# A new prefix is made once (about ten seconds); later starts take it.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
fi

runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
path=""
for dir in "$sdk/bin" "$runtime" /usr/x86_64-w64-mingw32/lib; do
  path+="Z:${dir//\//\\};"
done
export WINEPATH="$path${WINEPATH:-}"
exec "$wine" "$@"
