#!/usr/bin/env bash
# Times our decoding of a 12-megapixel picture in each format read through
# a library against that format's own command-line decoder, in one run:
#   HEIC: heif-convert (to Y4M, its cheapest output), WebP: dwebp (to PPM),
#   PNG and TIFF: ImageMagick (to its null output).
# Ours is bench_decode (LoadPicture: the picture as the program opens it).
# Every command is a whole process; they run alternately, round by round;
# the table gives medians and ratios.
#   bench/formats.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/timing.sh
cmake --build "$build" -j"$(nproc)" --target bench_decode >/dev/null
decode=$build/bench/bench_decode
convert=$(command -v convert-im6.q16 || command -v convert)

# The pictures: one phone photo at 4000 x 3000, as a phone (HEIC, quality
# 90), the web (lossy WebP, quality 90) and editors (PNG, LZW TIFF) store it.
base=$data/12mp-formats.png
[ -f "$base" ] || "$convert" "$corpus/hdr/iphone_hdr_YES.jpg" -resize '4000x3000!' "$base"
[ -f "$data/12mp.heic" ] || heif-enc -q 90 "$base" -o "$data/12mp.heic" >/dev/null
[ -f "$data/12mp.webp" ] || cwebp -quiet -q 90 "$base" -o "$data/12mp.webp"
[ -f "$data/12mp.png" ] || cp "$base" "$data/12mp.png"
[ -f "$data/12mp.tif" ] || "$convert" "$base" -compress lzw "$data/12mp.tif"

for format in heic webp png tif; do
  add "$format-ours" "$decode $data/12mp.$format"
done
add heic-heif-convert "heif-convert $data/12mp.heic $data/out.y4m"
add webp-dwebp "dwebp $data/12mp.webp -ppm -o /dev/null"
add png-imagemagick "$convert $data/12mp.png null:"
add tif-imagemagick "$convert $data/12mp.tif null:"

run_rounds "$rounds"
print_medians
echo
echo "ratios (same run, ours / theirs):"
echo "  HEIC ours / heif-convert:  $(ratio heic-ours heic-heif-convert)"
echo "  WebP ours / dwebp:         $(ratio webp-ours webp-dwebp)"
echo "  PNG  ours / ImageMagick:   $(ratio png-ours png-imagemagick)"
echo "  TIFF ours / ImageMagick:   $(ratio tif-ours tif-imagemagick)"
