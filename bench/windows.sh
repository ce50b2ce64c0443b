#!/usr/bin/env bash
# Times the Windows build's tavren.exe under Wine against the Linux tavren
# on a 12-megapixel JPEG, Normal and Deep at full size, in one run.  Wine
# starting a process costs a fixed time that is not computing; it is timed
# with --version and shown apart, and the second ratio leaves it out.
# The Linux build asks for large pages, which Windows gives a program only
# with a privilege users do not have; the Linux tavren is also timed on
# small pages (transparent large pages turned off for it), the page size
# the Windows build has, and the last ratios compare with that.
# Run it on a quiet machine.
#   bench/windows.sh [ROUNDS]        (after make windows)
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/timing.sh
cmake --build "$build" -j"$(nproc)" --target tavren >/dev/null
linux=$build/cli/tavren
windows="scripts/wine-run.sh build/windows/dist/tavren.exe"
[ -f build/windows/dist/tavren.exe ] || { echo "no build/windows/dist/tavren.exe: make windows" >&2; exit 1; }
bench_photo 12mp 4000x3000
photo=$data/12mp.jpg

# prctl(PR_SET_THP_DISABLE), which the program run from it inherits.
small_pages="perl -e 'syscall(157, 41, 1, 0, 0, 0) == 0 or die; exec @ARGV' --"
add start-linux "$linux --version"
add start-linux-small-pages "$small_pages $linux --version"
add start-windows "$windows --version"
for type in normal deep; do
  add "$type-linux" "$linux enhance -q --force --type $type -o $data/out-linux.jpg $photo"
  add "$type-linux-small-pages" \
    "$small_pages $linux enhance -q --force --type $type -o $data/out-linux.jpg $photo"
  add "$type-windows" "$windows enhance -q --force --type $type -o $data/out-windows.jpg $photo"
done
# Wine's own services (a desktop, the service manager, devices) start
# with the first program of a session and end with its last one, taking
# processor time for a second or so beside the program each time.  On
# Windows they are always running: a console kept open here keeps the
# session, and with it them, for the whole comparison.
export WINEPREFIX=${TAVREN_WINEPREFIX:-$HOME/.cache/brisolm-tavren/wine}
wineserver=$(command -v wineserver64 || command -v wineserver || echo /usr/lib/wine/wineserver64)
$windows --version >/dev/null  # the prefix made when new
sleep 3600 > >(scripts/wine-run.sh cmd.exe >/dev/null 2>&1) &
keeper=$!
trap 'kill $keeper 2>/dev/null; "$wineserver" -k' EXIT
$windows --version >/dev/null
sleep 5
run_rounds "$rounds"
print_medians
echo
for type in normal deep; do
  computing() {  # median of a run less the median of its start
    awk -v a="$(median "$data/times-$type-$1")" -v b="$(median "$data/times-start-$1")" \
        'BEGIN {print a - b}'
  }
  for linux_run in linux linux-small-pages; do
    printf '%-7s tavren.exe under Wine / Linux tavren%s: %s; without process start: %s\n' \
      "$type" "$([ $linux_run = linux ] || echo ' on small pages')" \
      "$(ratio "$type-windows" "$type-$linux_run")" \
      "$(awk -v a="$(computing windows)" -v b="$(computing $linux_run)" \
             'BEGIN {printf "%.2f", a / b}')"
  done
done
if cmp -s "$data/out-linux.jpg" "$data/out-windows.jpg"; then
  echo "the outputs are the same bytes"
else
  echo "the outputs DIFFER"; exit 1
fi
