# Daily shortcuts; ./run and ./test are the two commands that matter.
.PHONY: run test build deb bench compare formats fuzz clean

run:
	./run

test:
	./test

build:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release
	cmake --build build/release -j$$(nproc)

# The Debian package, build/deb/brisolm-tavren_<version>_<architecture>.deb,
# checked by lintian.  Linked as Debian links its own programs: relocations
# read-only after start, string functions checked.
deb:
	scripts/deps.sh package
	cmake -S . -B build/deb -DCMAKE_BUILD_TYPE=Release -DTAVREN_BUILD_TESTS=OFF \
	      -DTAVREN_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 \
	      "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now"
	cmake --build build/deb -j$$(nproc)
	cd build/deb && cpack -G DEB
	lintian --fail-on error,warning build/deb/brisolm-tavren_*.deb

# The Google Benchmark programs; bench_open takes arguments and is run by
# bench/compare.sh instead.
bench: build
	@set -e; for b in build/release/bench/bench_*; do \
	  case "$$b" in *bench_open|*bench_decode) continue;; esac; \
	  [ -x "$$b" ] && "$$b"; \
	done

# Our command line against the floor and the programs users would run
# instead; ROUNDS=9 for steadier medians.
ROUNDS ?= 5
compare:
	bench/compare.sh $(ROUNDS)

# Decoding a 12-megapixel file of each format against its own tools.
formats:
	bench/formats.sh $(ROUNDS)

clean:
	rm -rf build

# make fuzz FUZZ_SECONDS=600 runs every fuzzer that long.
FUZZ_SECONDS ?= 300
fuzz:
	scripts/fuzz.sh $(FUZZ_SECONDS)

# The Windows x64 libraries (MinGW-w64), built from Debian's sources into
# ~/.cache/brisolm-tavren/windows-sdk or $TAVREN_WINDOWS_SDK; an hour or two
# the first time, nothing when it is up to date.
.PHONY: windows-sdk
windows-sdk:
	scripts/windows-sdk.sh

# The Windows x64 build of both programs and their tests, laid out in
# build/windows/dist and packed as a zip and an installer; its tests and
# checks under Wine.  Both need the SDK of windows-sdk.
.PHONY: windows windows-test
windows:
	scripts/windows.sh

windows-test:
	scripts/windows.sh test
