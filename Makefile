# The two everyday commands: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps asks apt-get only for what is absent).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps build run test bench screenshot clean

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

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSOLNE_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	build-bench/bench_store
	@if [ -x build-bench/bench_window ]; then QT_QPA_PLATFORM=offscreen build-bench/bench_window; fi

screenshot: build
	@scripts/install-deps --screenshot
	@scripts/screenshot $(BUILD) docs/screenshot.png

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench
