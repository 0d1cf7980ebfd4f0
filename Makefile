# The two everyday commands: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps asks apt-get only for what is absent).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

WIN32_BUILD ?= build-win32
WIN64_BUILD ?= build-win64

.PHONY: all deps build run test test-windows bench-windows bench soak fuzz screenshot clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-sample $(BUILD)

test: build
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSOLNE_SANITIZE=ON -DSOLNE_GUI=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The store, its tests and solne-check.exe for 32-bit and 64-bit Windows
# (mingw-w64), tested with ctest under Wine (scripts/test-windows).
test-windows:
	@scripts/install-deps --windows
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN32_BUILD) -j $(JOBS)
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN64_BUILD) -j $(JOBS)
	JOBS=$(JOBS) scripts/test-windows $(WIN32_BUILD) $(WIN64_BUILD)

# Load time of a 32,767-user board against a raw read, under Wine.
bench-windows:
	@scripts/install-deps --windows
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN64_BUILD) -j $(JOBS) --target bench_load
	scripts/wine-run /usr/lib/wine/wine64 $(WIN64_BUILD)/wineprefix $(WIN64_BUILD)/bench_load.exe

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSOLNE_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	build-bench/bench_store
	@if [ -x build-bench/bench_window ]; then QT_QPA_PLATFORM=offscreen build-bench/bench_window; fi

# Random commands through the window on a 32,767-user board, 200 rounds of
# save and reload, with the memory figures (SOAK_ARGS="--rounds 20" for less).
SOAK_ARGS ?=
soak: build
	QT_QPA_PLATFORM=offscreen $(BUILD)/solne_soak $(SOAK_ARGS)

# Runs every fuzz target for FUZZ_SECONDS each; new inputs go to fuzz/out/.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := load settings cp932 roundtrip
fuzz:
	@scripts/install-deps --fuzz
	CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOLNE_FUZZ=ON -DSOLNE_GUI=OFF
	cmake --build build-fuzz -j $(JOBS) --target $(addprefix fuzz_,$(FUZZ_TARGETS))
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p fuzz/out/$$t && \
	  build-fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 fuzz/out/$$t fuzz/corpus/$$t || exit 1; \
	done

screenshot: build
	@scripts/install-deps --screenshot
	@scripts/screenshot $(BUILD) docs/screenshot.png

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench build-fuzz $(WIN32_BUILD) $(WIN64_BUILD)
