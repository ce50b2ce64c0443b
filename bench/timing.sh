# Shared by the comparison scripts, sourced from the project's folder with
# the script's arguments ([ROUNDS]): where things are, and wall times of
# whole commands, their medians and ratios.

rounds=${1:-5}
build=build/release
corpus=${TAVREN_CORPUS_DIR:-../shared/testdata/photos}
data=build/bench-data
mkdir -p "$data"

# Always brought up to date: timing a stale build would say nothing.
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null

convert=$(command -v convert-im6.q16 || command -v convert)

# bench_photo NAME WIDTHxHEIGHT: $data/NAME.jpg, a corpus photo at that
# size, stored at quality 95 as a camera would; made once.
bench_photo() {
  [ -f "$data/$1.jpg" ] ||
    "$convert" "$corpus/hdr/iphone_hdr_YES.jpg" -resize "$2!" -quality 95 "$data/$1.jpg"
}

now_ns() { date +%s%N; }

# run_once NAME COMMAND...: appends the wall time in milliseconds to
# $data/times-NAME.
run_once() {
  local name=$1; shift
  local start end
  start=$(now_ns)
  "$@" >/dev/null 2>&1
  end=$(now_ns)
  echo $(( (end - start) / 1000000 )) >> "$data/times-$name"
}

median() { sort -n "$1" | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# ratio A B: the median of A over the median of B.
ratio() { awk -v a="$(median "$data/times-$1")" -v b="$(median "$data/times-$2")" \
              'BEGIN {printf "%.2f", a / b}'; }

# The commands of a comparison, added with `add NAME COMMAND`.
declare -a names commands
add() { names+=("$1"); commands+=("$2"); }

# run_rounds ROUNDS: every command once per round, alternately, so that a
# noisy machine hurts them all alike.  Every other round goes backwards:
# a command that uses much memory makes the first touch of fresh memory
# slower for the command after it, which would otherwise always be the
# same one.
run_rounds() {
  rm -f "$data"/times-*
  local r i order
  for ((r = 0; r < $1; r++)); do
    order=("${!names[@]}")
    [ $((r % 2)) -eq 1 ] && order=($(printf '%s\n' "${order[@]}" | sort -rn))
    for i in "${order[@]}"; do run_once "${names[$i]}" sh -c "${commands[$i]}"; done
  done
}

# The table of medians.
print_medians() {
  local name
  printf '%-28s %10s\n' "command" "median ms"
  for name in "${names[@]}"; do printf '%-28s %10s\n' "$name" "$(median "$data/times-$name")"; done
}
