# Daily shortcuts; ./run and ./test are the two commands that matter.
.PHONY: run test build bench fuzz clean

run:
	./run

test:
	./test

build:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
	cmake --build build/release -j$$(nproc)

bench: build
	@for b in build/release/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build

# make fuzz FUZZ_SECONDS=600 runs every fuzzer that long.
FUZZ_SECONDS ?= 300
fuzz:
	scripts/fuzz.sh $(FUZZ_SECONDS)
