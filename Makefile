# Quick start: `make demo` and `make test`. Both install what is missing (Debian, as root),
# configure and build.
SHELL := /bin/bash
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
PREFIX ?= /usr/local
# Warnings are errors in every build made here; a plain cmake build only warns.
CMAKE_FLAGS ?=
override CMAKE_FLAGS += -DNXS_WERROR=ON

.PHONY: all deps configure build demo test test-fast test-asan fuzz fuzz-long bench tsan memcheck install clean

all: build

deps:
	@bash scripts/deps.sh

# Line tables are enough debug information for a backtrace, and a quarter quicker to make.
# The tests' own code is not optimized, and a test folder's sources compile eight at a time as
# one (a unity build): together a fourth of the time the tests took to make one by one at -O1.
UNITY_FLAGS = -DNXS_UNITY_TESTS=8
$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
	  -DNXS_TEST_OPTIMIZE=-O0 $(UNITY_FLAGS) $(CMAKE_FLAGS)

configure: deps $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

demo: build
	@bash scripts/demo.sh $(BUILD)/src/host/nxs

# The sanitizer build runs first, with its fuzz targets (ten seconds each, as many at once as
# there are processors), and the plain build's suite last, so that the run ends with ctest's
# summary. Where clang with libFuzzer is there, one clang build serves both the sanitizers and
# the fuzz targets (the libraries instrumented once); elsewhere g++ makes the sanitizer build
# and the fuzz targets are skipped. The sanitizer build precompiles the headers and compiles
# the tests' own code unoptimized: the code under test is what the sanitizers check.
test: deps
	$(MAKE) --no-print-directory test-asan
	$(MAKE) --no-print-directory test-fast

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

# clang with libFuzzer, or nothing.
FUZZ_PROBE = command -v clang++ >/dev/null && echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long){return 0;}' \
	    | clang++ -x c++ - -fsanitize=fuzzer -o /tmp/nxs-fuzz-probe 2>/dev/null

ASAN_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNXS_SANITIZE=ON -DNXS_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
	  -DNXS_PCH=ON -DNXS_TEST_OPTIMIZE=-O0 $(UNITY_FLAGS) $(CMAKE_FLAGS)

# A build folder made by the other compiler is made anew: CMake keeps a folder's compiler.
test-asan: deps
	@if $(FUZZ_PROBE); then compiler=clang++; else compiler=g++; fi; \
	if [ -f $(ASAN_BUILD)/CMakeCache.txt ] && ! grep -q "^CMAKE_CXX_COMPILER:[A-Z]*=.*/$$compiler\$$" $(ASAN_BUILD)/CMakeCache.txt; then \
	  rm -rf $(ASAN_BUILD); fi; \
	if [ $$compiler = clang++ ]; then \
	  cmake -S . -B $(ASAN_BUILD) $(ASAN_FLAGS) -DNXS_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++; \
	else \
	  cmake -S . -B $(ASAN_BUILD) $(ASAN_FLAGS) -DNXS_FUZZ=OFF -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++; \
	fi && \
	cmake --build $(ASAN_BUILD) -j $(JOBS) && \
	(cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS) --timeout 600) && \
	if [ $$compiler = clang++ ]; then NXS_FUZZ_SECONDS=$${NXS_FUZZ_SECONDS:-10} bash scripts/fuzz.sh $(ASAN_BUILD); \
	else echo "fuzz: clang with libFuzzer not found, fuzz targets skipped"; fi

# The fuzz targets, in a build of their own (the targets and the libraries they link).
fuzz: deps
	@if $(FUZZ_PROBE); then \
	  cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNXS_FUZZ=ON -DNXS_TESTS=OFF -DNXS_BENCH=OFF \
	    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $(CMAKE_FLAGS) && \
	  cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets && NXS_FUZZ_SECONDS=$${NXS_FUZZ_SECONDS:-10} \
	    bash scripts/fuzz.sh $(FUZZ_BUILD); \
	else echo "fuzz: clang with libFuzzer not found, fuzz targets skipped"; fi

# The fuzz targets for ten minutes each (not part of `make test`); what
# they find is kept under $(FUZZ_BUILD)/fuzz-long/ for adding to tests/fuzz/corpus.
fuzz-long: deps
	@if $(FUZZ_PROBE); then \
	  cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNXS_FUZZ=ON -DNXS_TESTS=OFF -DNXS_BENCH=OFF \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ && \
	  cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets && NXS_FUZZ_SECONDS=$${NXS_FUZZ_SECONDS:-600} NXS_FUZZ_KEEP=$(FUZZ_BUILD)/fuzz-long \
	    bash scripts/fuzz.sh $(FUZZ_BUILD); \
	else echo "fuzz-long: clang with libFuzzer not found, fuzz targets skipped"; fi

bench: build
	@bash scripts/bench.sh $(BUILD)

tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNXS_TSAN=ON -DNXS_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-tsan -j $(JOBS)
	cd build-tsan && ctest --output-on-failure -j $(JOBS) --timeout 600

# The settings store, the options and the modules under valgrind: uninitialised reads and
# leaks that the sanitizer build does not see. Not part of `make test`.
MEMCHECK_SUITES = shared/shared_tests options/options_tests modules/modules_tests
memcheck: build
	@command -v valgrind >/dev/null || { echo "memcheck: valgrind not found"; exit 1; }
	@for t in $(MEMCHECK_SUITES); do \
	  echo "== valgrind $$t"; \
	  NXS_SETTINGS_DIR=$$(mktemp -d) valgrind --quiet --error-exitcode=99 --leak-check=full --child-silent-after-fork=yes \
	    --errors-for-leak-kinds=definite --track-origins=yes $(BUILD)/tests/$$t --gtest_brief=1 || exit 1; \
	done

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) build-tsan
