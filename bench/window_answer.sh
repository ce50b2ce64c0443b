#!/usr/bin/env bash
# Whether the window answers while it opens a 100-megapixel JPEG in a
# full-HD window on Xvfb: the longest time an event posted meanwhile waits
# for the window's thread (see bench/window_answer.cpp).
#   bench/window_answer.sh [ROUNDS]
set -euo pipefail
cd "$(dirname "$0")/.."

. bench/timing.sh
cmake --build "$build" -j"$(nproc)" --target window_answer >/dev/null
bench_photo 100mp 12000x8400

if [ -z "${WINDOW_ANSWER_ON_DISPLAY:-}" ]; then
  WINDOW_ANSWER_ON_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1920x1080x24" "$0" "$rounds"
fi
"$build/bench/window_answer" "$data/100mp.jpg" "$rounds"
