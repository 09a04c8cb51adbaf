# Orna art pack viewer: build, run and test.
#   make            build everything into build/ (programs in build/bin/)
#   make run        build and start the viewer
#   make test       install what is missing, build from nothing, run every test,
#                   then fuzz the module loader and player for FUZZ_TEST_SECONDS
#   make test-asan  the test suite under AddressSanitizer + UndefinedBehaviorSanitizer
#   make test-tsan  the player's thread tests under ThreadSanitizer
#   make fuzz SECONDS=N   run the module fuzzer for N seconds
#   make bench      render-speed benchmarks, ours against the peers
#   make windows    the 32-bit Windows executable, build-windows/orna-viewer.exe
#   make test-windows     run it under Wine and check it

BUILD ?= build
SECONDS ?= 60
FUZZ_TEST_SECONDS ?= 60
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
DEPS = scripts/install-deps.sh

.PHONY: all deps configure run test test-asan test-tsan fuzz bench windows test-windows clean

all: deps configure
	cmake --build $(BUILD)

deps:
	@$(DEPS) build

configure:
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

run: all
	@if [ -z "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]; then \
	    echo "orna-viewer: no display (DISPLAY is not set); start it from a desktop session"; exit 1; fi
	./$(BUILD)/bin/orna-viewer

test:
	@$(DEPS) build test fuzz
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null
	cmake --build $(BUILD)
	cd $(BUILD) && ctest --output-on-failure -j2
	@if fuzz/available.sh; then $(MAKE) --no-print-directory fuzz SECONDS=$(FUZZ_TEST_SECONDS); \
	else echo "fuzz: clang with libFuzzer is not available; the bounded fuzz run is skipped"; fi

test-asan:
	@$(DEPS) build test
	@cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORNA_SANITIZE=ON >/dev/null
	cmake --build build-asan -j2
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan_suppressions.txt \
	    UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2

test-tsan:
	@$(DEPS) build test
	@cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORNA_TSAN=ON >/dev/null
	cmake --build build-tsan -j2 --target player_tests robustness_tests
	@# Player.ThousandStartStopCycles counts threads from before the first start, and the
	@# sanitizer's own thread starts with the first one; RobustnessSoak covers those cycles.
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j2 -R '^(Player|RobustnessSoak)\.' \
	    -E '^Player\.ThousandStartStopCycles$$'

fuzz:
	@$(DEPS) build fuzz
	@cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORNA_FUZZ=ON -DORNA_TESTS=OFF \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	cmake --build build-fuzz -j2 --target module_fuzzer
	fuzz/run.sh build-fuzz/bin/module_fuzzer $(SECONDS)

bench:
	@$(DEPS) build bench
	@cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORNA_BENCH=ON -DORNA_TESTS=OFF >/dev/null
	cmake --build build-bench
	bench/run.sh build-bench

windows:
	@$(DEPS) build test windows
	scripts/build-windows.sh

test-windows: windows
	scripts/test-windows.sh

clean:
	rm -rf build build-asan build-tsan build-fuzz build-bench build-windows
