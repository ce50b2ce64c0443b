#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   scripts/fuzz.sh [SECONDS_EACH] [FUZZER...]
# Seeds come from fuzz/seeds/<fuzzer>/ (committed); what a run learns is kept
# in build/fuzz/corpus/<fuzzer>/.  A crash, leak or timeout fails the run and
# leaves the input in build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
build=build/fuzz
CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVREN_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)"

fuzzers=("$@")
if [ ${#fuzzers[@]} -eq 0 ]; then
  for f in "$build"/fuzz/fuzz_*; do [ -x "$f" ] && fuzzers+=("$(basename "$f")"); done
fi

# Small pictures of the formats read through libraries, made from a test
# picture by the usual tools (scripts/deps.sh test installs them; a missing
# tool leaves its seeds out).
format_seeds() {
  local dir=$2 src=tests/data/bmp_rose16_24.bmp
  case $1 in
    fuzz_png)
      convert "$src" "$dir/rgb.png"
      convert "$src" -alpha set -channel A -evaluate set 50% -depth 16 "$dir/rgba16.png"
      convert "$src" -colors 16 "png8:$dir/palette.png"
      convert "$src" -interlace PNG "$dir/interlaced.png"
      convert "$src" -colorspace gray -depth 1 "$dir/bilevel.png" ;;
    fuzz_tiff)
      convert "$src" -compress lzw -define tiff:rows-per-strip=8 "$dir/lzw.tif"
      convert "$src" -depth 16 -compress zip "$dir/deep.tif"
      convert "$src" -define tiff:tile-geometry=16x16 "$dir/tiles.tif"
      convert "$src" -interlace plane "$dir/planes.tif"
      convert "$src" -colorspace cmyk "$dir/cmyk.tif"
      convert "$src" -compress jpeg "$dir/jpeg.tif"
      convert "$src" -type palette -compress packbits "$dir/palette.tif" ;;
    fuzz_webp)
      convert "$src" "$dir/rose.png"
      cwebp -quiet -lossless "$dir/rose.png" -o "$dir/lossless.webp"
      cwebp -quiet -q 40 -alpha_q 50 "$dir/rose.png" -o "$dir/lossy.webp"
      img2webp -lossy "$dir/rose.png" -lossless "$dir/rose.png" -o "$dir/animated.webp"
      rm -f "$dir/rose.png" ;;
    fuzz_heif)
      convert "$src" "$dir/rose.png"
      heif-enc -q 30 "$dir/rose.png" -o "$dir/rose.heic"
      heif-enc -q 30 -A "$dir/rose.png" -o "$dir/rose.avif"
      rm -f "$dir/rose.png" ;;
  esac >/dev/null 2>&1 || true
}

mkdir -p "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan.supp
status=0
for name in "${fuzzers[@]}"; do
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  # Seeds: the committed ones of this fuzzer and the test pictures it reads.
  seeds="$build/seeds/$name"
  rm -rf "$seeds"; mkdir -p "$seeds"
  [ -d "fuzz/seeds/$name" ] && cp fuzz/seeds/"$name"/* "$seeds"/ 2>/dev/null || true
  case $name in
    fuzz_bmp) cp tests/data/*.bmp "$seeds"/ 2>/dev/null || true ;;
    fuzz_jpeg|fuzz_exif|fuzz_pipeline) cp tests/data/*.jpg "$seeds"/ 2>/dev/null || true ;;
    fuzz_png|fuzz_tiff|fuzz_webp) format_seeds "$name" "$seeds" ;;
    fuzz_heif) format_seeds "$name" "$seeds"; cp tests/data/*.heic "$seeds"/ ;;
  esac
  dict=()
  case $name in
    fuzz_jpeg|fuzz_exif|fuzz_tiff) dict=("-dict=fuzz/jpeg_tiff.dict") ;;
  esac
  log="$build/$name.log"
  echo "== $name: ${seconds}s"
  if "$build/fuzz/$name" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
       -max_len=262144 -print_final_stats=1 -artifact_prefix="$build/artifacts/$name-" \
       "$corpus" "$seeds" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^#[0-9]+.*DONE' "$log" | tail -n 2 | sed 's/^/   /'
    grep -E 'cov: [0-9]+' -o "$log" | tail -n 1 | sed 's/^/   /'
  else
    status=1
    echo "   FAILED; see $log"
    tail -n 40 "$log"
  fi
done
exit $status
