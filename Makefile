# The two everyday commands: `make run` and `make test`. Both install what is
# missing first (scripts/install-deps asks apt-get only for what is absent).

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)

WIN32_BUILD ?= build-win32
WIN64_BUILD ?= build-win64
# WERROR=ON: compiler warnings are errors (CI: .ci/run); WERROR=OFF undoes
# it; unset, a build keeps what it had.
WERROR     ?=
WERROR_ARG := $(if $(WERROR),-DSOLNE_WERROR=$(WERROR))

.PHONY: all deps build run test package check-package bench-build bench bench-windows soak fuzz \
        screenshot clean windows-builds test-windows windows check-msi screenshot-windows \
        bench-share test-share

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR_ARG)
	cmake --build $(BUILD) -j $(JOBS)

# Builds the two programs only (the editor and solne-check), not the tests.
run: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target solne solne-check
	@scripts/run-sample $(BUILD)

# Every suite in the build above; then, built again under AddressSanitizer
# and UBSan, what the sanitizers protect: the store and the window logic
# with their suites (labels store, form, fuzz); solne-check comes along as
# the store's tests run it. Not Qt nor the command-line toolkit: the suites
# of the store and the window logic reach what the sanitizers guard.
ASAN_TARGETS := store_tests form_tests fuzz_replays
test: build
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSOLNE_SANITIZE=ON -DSOLNE_GUI=OFF $(WERROR_ARG)
	cmake --build $(ASAN_BUILD) -j $(JOBS) --target $(ASAN_TARGETS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS) -L '^(store|form|fuzz)$$'

# The Debian package BUILD/solne_VERSION_amd64.deb (CPack), and its trial
# on this machine: install, use, remove (needs root or sudo).
package: build
	@scripts/install-deps --package
	cmake --build $(BUILD) --target package

check-package:
	@scripts/check-package $(BUILD)

# Load time of a 32,767-user board against a raw read, under Wine.
bench-windows:
	@scripts/install-deps --windows
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
	cmake --build $(WIN64_BUILD) -j $(JOBS) --target bench_load
	scripts/wine-run /usr/lib/wine/wine64 $(WIN64_BUILD)/wineprefix $(WIN64_BUILD)/bench_load.exe

bench-build: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DSOLNE_BENCH=ON -DSOLNE_TESTS=OFF
	cmake --build build-bench -j $(JOBS)

bench: bench-build
	build-bench/bench_store
	build-bench/bench_admin
	@if [ -x build-bench/bench_window ]; then build-bench/bench_window; fi

# The same on a board in a real SMB share (needs root): Samba serves a
# scratch folder on a loopback of its own and a FUSE SMB client mounts it
# (scripts/with-share); the load and the two saves of a 2,000-user board
# against the raw baselines on the same share, round by round
# (BENCH_SHARE_ARGS="--users 500 --rounds 3" for less).
BENCH_SHARE_ARGS ?=
bench-share: bench-build
	@scripts/install-deps --share
	scripts/with-share sh -c 'build-bench/bench_share "$$SOLNE_SHARE_A" --server "$$SOLNE_SHARE_SERVER" $(BENCH_SHARE_ARGS)'

# The editor's window (on the fake toolkit) on such a share, with a second
# client playing a second machine: the example flow, the outside-change
# question, the files byte for byte (needs root).
test-share: build
	@scripts/install-deps --share
	cmake --build $(BUILD) -j $(JOBS) --target share_tests
	scripts/with-share $(BUILD)/share_tests

# Random commands through the Qt window on a 32,767-user board, 200 rounds of
# save and reload, with the memory figures (SOAK_ARGS="--rounds 20" for less).
# Then the status lines a board program rewrites during saves: how many of
# its writes a save undid (RACE_ARGS="--runs 2" for less). Then, as root,
# the board's account flipping user/ or a per-user file to a link out of the
# board while root saves: nothing outside may change (BENEATH_ARGS="--saves 50");
# and journals the board's account flips between a file and a link to a
# root-only file while the store loads and saves: the secret never shows
# (JOURNAL_RACE_ARGS="--loads 500").
SOAK_ARGS ?=
RACE_ARGS ?=
BENEATH_ARGS ?=
JOURNAL_RACE_ARGS ?=
soak: bench-build
	build-bench/solne_soak $(SOAK_ARGS)
	build-bench/solne_status_race $(RACE_ARGS)
	@if [ "$$(id -u)" = 0 ]; then build-bench/solne_beneath_race $(BENEATH_ARGS); \
	 else echo "solne_beneath_race: skipped (needs root to play the board's account)"; fi
	build-bench/solne_journal_race $(JOURNAL_RACE_ARGS)

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

screenshot: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target solne
	@scripts/install-deps --screenshot
	@scripts/screenshot $(BUILD) docs/screenshot.png

# ---- Windows (mingw-w64; programs and tests run under Wine)
# Both builds always compile; the tests and the screenshot run on the 32-bit
# one where this machine runs 32-bit programs, else on the 64-bit one.
WIN_RUN_32  := $(shell scripts/can-run-32bit && echo yes)
WIN_BUILD   := $(if $(WIN_RUN_32),$(WIN32_BUILD),$(WIN64_BUILD))
WIN_WINE    := $(if $(WIN_RUN_32),/usr/lib/wine/wine,/usr/lib/wine/wine64)
WIN_PREFIX  := $(WIN_BUILD)/wineprefix

windows-builds:
	@scripts/install-deps --windows
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release $(WERROR_ARG)
	cmake --build $(WIN32_BUILD) -j $(JOBS)
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release $(WERROR_ARG)
	cmake --build $(WIN64_BUILD) -j $(JOBS)

# The store, its tests, solne-check.exe, the editor and the tests of its
# window for both, tested with ctest under Wine (scripts/test-windows).
test-windows: windows-builds
	JOBS=$(JOBS) scripts/test-windows $(WIN32_BUILD) $(WIN64_BUILD)

# dist/solne-VERSION-windows.zip: 32-bit programs at the top, 64-bit in x64/;
# dist/solne-VERSION-x64.msi and -x86.msi, the Windows Installer packages.
windows: windows-builds
	scripts/package-windows $(WIN32_BUILD) $(WIN64_BUILD) dist

# The MSI packages installed, started (screenshot) and removed under Wine in
# a fresh prefix (scripts/check-msi).
check-msi: windows
	@scripts/install-deps --windows --screenshot
	scripts/check-msi dist $(WIN64_BUILD)/msi-check.png

screenshot-windows: windows-builds
	@scripts/install-deps --windows --screenshot
	scripts/wine-display $(WIN_WINE) $(WIN_PREFIX) \
	  scripts/screenshot-windows $(WIN_WINE) $(WIN_PREFIX) $(WIN_BUILD)/solne.exe docs/screenshot-windows.png

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-bench build-fuzz $(WIN32_BUILD) $(WIN64_BUILD)
