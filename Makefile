# Daily shortcuts; ./run and ./test are the two commands that matter.
.PHONY: run test build bench compare fuzz clean

run:
	./run

test:
	./test

build:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
	cmake --build build/release -j$$(nproc)

# The Google Benchmark programs; bench_open takes arguments and is run by
# bench/compare.sh instead.
bench: build
	@set -e; for b in build/release/bench/bench_*; do \
	  case "$$b" in *bench_open) continue;; esac; \
	  [ -x "$$b" ] && "$$b"; \
	done

# Our command line against the floor and the programs users would run
# instead; ROUNDS=9 for steadier medians.
ROUNDS ?= 5
compare:
	bench/compare.sh $(ROUNDS)

clean:
	rm -rf build

# make fuzz FUZZ_SECONDS=600 runs every fuzzer that long.
FUZZ_SECONDS ?= 300
fuzz:
	scripts/fuzz.sh $(FUZZ_SECONDS)
