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

mkdir -p "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
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
  esac
  dict=()
  case $name in
    fuzz_jpeg|fuzz_exif) dict=("-dict=fuzz/jpeg_tiff.dict") ;;
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
