#!/usr/bin/env bash
# PgDn through a folder of 12-megapixel JPEGs in a full-HD window on Xvfb,
# with and without read-ahead (a 1.5 s look at each picture, and the key
# held down), and the picture made again after maximising; see
# bench/window_browse.cpp.  Runs alternate round by round, so that a noisy
# machine hurts each alike.
#   bench/window_browse.sh [ROUNDS] [OTHER_BUILD]
# OTHER_BUILD: a second build tree (another version) timed in the same
# rounds, for a side-by-side comparison; its runs have no read-ahead switch.
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/timing.sh
other=${2:-}
cmake --build "$build" -j"$(nproc)" --target window_browse >/dev/null
folder=$data/browse

# Ten different pictures, as a camera would store them (quality 95).
mkdir -p "$folder"
bench_photo 12mp 4000x3000
for i in 0 1 2 3 4 5 6 7 8 9; do
  [ -f "$folder/$i.jpg" ] ||
    "$convert" "$data/12mp.jpg" -roll "+$((i * 389))+$((i * 211))" -quality 95 "$folder/$i.jpg"
done

if [ -z "${WINDOW_BROWSE_ON_DISPLAY:-}" ]; then
  WINDOW_BROWSE_ON_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$rounds" "$other"
fi

ours=$build/bench/window_browse
add "ours, read-ahead, look 1.5 s" "$ours $folder --look 1500"
add "ours, no read-ahead, look 1.5 s" "$ours $folder --look 1500 --no-read-ahead"
add "ours, read-ahead, key held" "$ours $folder --look 0"
add "ours, maximising" "$ours $folder --resize --steps 5"
if [ -n "$other" ]; then
  add "other, look 1.5 s" "$other/bench/window_browse $folder --look 1500"
  add "other, key held" "$other/bench/window_browse $folder --look 0"
  add "other, maximising" "$other/bench/window_browse $folder --resize --steps 3"
fi

for ((r = 1; r <= rounds; r++)); do
  for i in "${!names[@]}"; do
    echo "round $r, ${names[$i]}: $(${commands[$i]} 2>&1 | grep median)"
  done
done
