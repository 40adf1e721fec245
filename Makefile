# The README's commands. Every target installs what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
RELEASE_BUILD ?= build-release
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 20

# Warnings are errors in every build made here, so that `make demo`, `make build` and `make check` compile with
# the same flags and share one build folder and the compiler cache; a packager's plain CMake build keeps them off.
WERROR ?= ON
CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXAQR_WERROR=$(WERROR)

.PHONY: all deps configure build check layers test asan tsan release demo bench fuzz fuzz-merge format clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

asan: deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_FLAGS) -DVEXAQR_SANITIZE=ON -DVEXAQR_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

# The test programs whose code runs on more than one thread (the run loop, the HTTP client's worker, the
# camera source, the hub's background thread, the devserver they start), under ThreadSanitizer. Only these are
# built: the rest of the suite has one thread and is covered by `asan`.
TSAN_TESTS = vexaqr_platform_tests vexaqr_service_tests vexaqr_curl_fault_tests vexaqr_views_tests \
	vexaqr_hub_tests vexaqr_devserver_tests
# Lighter optimisation and debug information keep this build short; stacks still have file and line.
TSAN_CXXFLAGS ?= -O1 -g1
tsan: deps
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_FLAGS) -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$(TSAN_CXXFLAGS)" \
		-DVEXAQR_SANITIZE_THREAD=ON -DVEXAQR_BUILD_BENCH=OFF -DVEXAQR_INSTALL=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS)
	@for t in $(TSAN_TESTS); do echo "== $$t"; \
		TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" $(TSAN_BUILD)/bin/$$t --gtest_brief=1 || exit 1; done

# Includes point down the layers, and the public headers include only each other and the standard library and
# compile alone (with the compiler the packages bring), before anything else is compiled.
layers: deps
	@scripts/check-layers.sh
	@scripts/check-public-headers.sh

# The libraries alone as a packager builds them: optimised, no tests, warnings as errors. `make check` does not
# run it: its shared-library consumer test builds the libraries the same way (Release, warnings as errors).
release: deps
	cmake -S . -B $(RELEASE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXAQR_WERROR=$(WERROR) \
		-DVEXAQR_BUILD_TOOLS=OFF -DVEXAQR_BUILD_TESTS=OFF -DVEXAQR_BUILD_BENCH=OFF
	cmake --build $(RELEASE_BUILD) -j $(JOBS) --target vexaqr_codec vexaqr

check: layers test asan tsan

# Only the two programs the demo runs; `make check` later builds the rest in the same folder.
DEMO_TARGETS = vexaqr-cli vexaqr-devserver
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target $(DEMO_TARGETS)
	@scripts/demo.sh $(BUILD)/bin/vexaqr $(BUILD)/bin/vexaqr-devserver

bench: build
	@for b in $(BUILD)/bin/bench_*; do echo "== $$b"; $$b --benchmark_min_time=0.2 || exit 1; done

# Each target runs FUZZ_SECONDS (short by default; `make fuzz FUZZ_SECONDS=3600` for a long run) on its kept seeds
# plus what earlier runs found. A single allocation above FUZZ_MALLOC_MB, or a process above FUZZ_RSS_MB, is a
# finding: a memory blow-up must fail as loudly as a crash. So is one input that runs longer than FUZZ_TIMEOUT
# seconds: a cost that grows faster than the input shows up as a slow unit. fuzz/options/<target>, when present,
# holds further libFuzzer flags for that target (e.g. -max_len up to the parser's real input cap, its own
# -timeout); they come last and so win. AddressSanitizer's quarantine of freed memory (256 MB by default) would
# count against FUZZ_RSS_MB as if the program held it, so it is kept small. What a run finds is written to
# $(FUZZ_BUILD)/findings/, never into the source tree.
FUZZ_MALLOC_MB ?= 256
FUZZ_RSS_MB    ?= 512
FUZZ_TIMEOUT   ?= 5
FUZZ_CXXFLAGS  ?= -O1 -gline-tables-only
FUZZ_ASAN_OPTIONS ?= quarantine_size_mb=16

fuzz: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) $(CMAKE_FLAGS) -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$(FUZZ_CXXFLAGS)" \
		-DVEXAQR_BUILD_FUZZ=ON -DVEXAQR_BUILD_TESTS=OFF -DVEXAQR_BUILD_BENCH=OFF -DVEXAQR_BUILD_TOOLS=OFF \
		-DVEXAQR_BUILD_EXAMPLES=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@mkdir -p $(FUZZ_BUILD)/findings
	@for f in $(FUZZ_BUILD)/bin/fuzz_*; do name=$$(basename $$f); echo "== $$name"; \
		corpus=$(FUZZ_BUILD)/corpus/$$name; mkdir -p $$corpus; seeds=; [ -d fuzz/corpus/$$name ] && seeds=fuzz/corpus/$$name; \
		options=; [ -f fuzz/options/$$name ] && options=$$(cat fuzz/options/$$name); \
		if ! ASAN_OPTIONS=$(FUZZ_ASAN_OPTIONS) $$f -max_total_time=$(FUZZ_SECONDS) -malloc_limit_mb=$(FUZZ_MALLOC_MB) \
			-rss_limit_mb=$(FUZZ_RSS_MB) -timeout=$(FUZZ_TIMEOUT) -report_slow_units=$(FUZZ_TIMEOUT) \
			-artifact_prefix=$(FUZZ_BUILD)/findings/$$name- $$options \
			$$corpus $$seeds > $(FUZZ_BUILD)/$$name.log 2>&1; then \
			tail -n 40 $(FUZZ_BUILD)/$$name.log; exit 1; fi; tail -n 1 $(FUZZ_BUILD)/$$name.log; done

# Folds what a run found into the kept seeds, keeping only inputs that add coverage.
fuzz-merge:
	@for f in $(FUZZ_BUILD)/bin/fuzz_*; do name=$$(basename $$f); mkdir -p fuzz/corpus/$$name; \
		options=; [ -f fuzz/options/$$name ] && options=$$(cat fuzz/options/$$name); \
		ASAN_OPTIONS=$(FUZZ_ASAN_OPTIONS) $$f -merge=1 -malloc_limit_mb=$(FUZZ_MALLOC_MB) -rss_limit_mb=$(FUZZ_RSS_MB) $$options fuzz/corpus/$$name \
			$(FUZZ_BUILD)/corpus/$$name > $(FUZZ_BUILD)/$$name.merge.log 2>&1 || exit 1; \
		echo "$$name: $$(ls fuzz/corpus/$$name | wc -l) seeds"; done

format:
	find include src tools tests bench fuzz -name '*.[ch]pp' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(RELEASE_BUILD)
