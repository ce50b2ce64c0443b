#!/usr/bin/env bash
# Times our command line against what users would run instead, JPEG to JPEG
# at quality 100 (progressive), on the same photos, in one run:
#   ours Normal and Deep, the floor (djpeg | cjpeg -quality 100 -progressive),
#   ImageMagick's contrast stretch and libvips' histogram equalisation.
# Commands are run alternately, round by round, so that a noisy machine
# hurts them all alike; the table gives medians and ratios.
#   bench/compare.sh [ROUNDS] [OTHER_BUILD]
# OTHER_BUILD: a second build tree (another version of ours) whose Normal
# and Deep run in the same rounds, for a side-by-side comparison.  A tool
# that is not installed is left out.
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/timing.sh
other=${2:-}
have() { command -v "$1" >/dev/null 2>&1; }
cmake --build "$build" -j"$(nproc)" --target tavren bench_open >/dev/null
tavren=$build/cli/tavren

# 12 and 24 megapixels and a 1920x1080 one.
bench_photo 12mp 4000x3000
bench_photo 24mp 6000x4000
bench_photo fullhd 1920x1080

for photo in 12mp 24mp fullhd; do
  in=$data/$photo.jpg
  add "$photo-ours-normal" "$tavren enhance --force --type normal -o $data/out-normal.jpg $in"
  add "$photo-ours-deep" "$tavren enhance --force --type deep -o $data/out-deep.jpg $in"
  if [ -n "$other" ]; then
    add "$photo-other-normal" "$other/cli/tavren enhance --force --type normal -o $data/out-other-normal.jpg $in"
    add "$photo-other-deep" "$other/cli/tavren enhance --force --type deep -o $data/out-other-deep.jpg $in"
  fi
  add "$photo-floor" "sh -c 'djpeg $in | cjpeg -quality 100 -progressive > $data/out-floor.jpg'"
  add "$photo-imagemagick" "$convert $in -contrast-stretch 0.1%x0.1% -interlace JPEG -quality 100 $data/out-im.jpg"
  have vips && add "$photo-vips" "vips hist_equal $in $data/out-vips.jpg[Q=100,interlace]"
done

run_rounds "$rounds"

# Opening a photo for the window, paired round by round with a plain
# decode of the same file.  Not in the rounds above: there it would follow
# the other tools' 24 MP runs, after which first touching fresh memory is
# slower on some machines, which a decode into a small buffer never
# notices.
for ((r = 0; r < rounds; r++)); do
  run_once 12mp-open-1920x1080 "$build/bench/bench_open" "$data/12mp.jpg" 1920 1080
  run_once 12mp-djpeg djpeg -outfile /dev/null "$data/12mp.jpg"
done
names+=(12mp-open-1920x1080 12mp-djpeg)

print_medians

echo
echo "ratios (same run):"
for photo in 12mp 24mp fullhd; do
  echo "  $photo normal / imagemagick: $(ratio $photo-ours-normal $photo-imagemagick)"
  have vips && echo "  $photo normal / vips:        $(ratio $photo-ours-normal $photo-vips)"
  echo "  $photo normal / floor:       $(ratio $photo-ours-normal $photo-floor)"
  echo "  $photo deep / floor:         $(ratio $photo-ours-deep $photo-floor)"
  if [ -n "$other" ]; then
    echo "  $photo other normal / imagemagick: $(ratio $photo-other-normal $photo-imagemagick)"
    echo "  $photo other normal / floor:       $(ratio $photo-other-normal $photo-floor)"
    echo "  $photo other deep / floor:         $(ratio $photo-other-deep $photo-floor)"
  fi
done
echo "  12mp open (1920x1080) / djpeg: $(ratio 12mp-open-1920x1080 12mp-djpeg)"

# Processing alone, 2 threads against 1 (alternating), and peak memory of
# Deep at 24 MP.
rm -f "$data/times-process-1" "$data/times-process-2"
for ((r = 0; r < rounds; r++)); do
  for threads in 1 2; do
    # the program's own figure: the processing without the decode
    TAVREN_THREADS=$threads "$build/bench/bench_open" --process-only "$data/12mp.jpg" 1920 1080 \
      >> "$data/times-process-$threads"
  done
done
echo "  processing 2 threads / 1 thread: $(ratio process-2 process-1)"
peak_kb=$(/usr/bin/time -v "$tavren" enhance --force --type deep -o "$data/out-deep.jpg" \
            "$data/24mp.jpg" 2>&1 >/dev/null | awk -F: '/Maximum resident/ {gsub(/ /, "", $2); print $2}')
picture_kb=$(( 6000 * 4000 * 3 / 1024 ))
awk -v p="$peak_kb" -v s="$picture_kb" \
  'BEGIN {printf "  peak memory, deep at 24 MP: %d MiB = %.2f x the 24-bit picture\n", p / 1024, p / s}'
