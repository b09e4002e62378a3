# The two commands of the README: `make demo` and `make test`.
JOBS ?= $(shell nproc)
BUILD_DIR ?= build/release
ASAN_DIR ?= build/asan
TSAN_DIR ?= build/tsan
FUZZ_DIR ?= build/fuzz
FUZZ_SECONDS ?= 30
BENCH_DIR ?= build/bench
CMAKE_FLAGS ?=

.PHONY: deps services build demo test test-release test-asan test-tsan test-fuzz bench clean

deps:
	@tools/install-deps.sh

# Services the tests talk to (the Avahi daemon for OSC publishing).
services: deps
	@tools/start-avahi.sh

build: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD_DIR) -j$(JOBS)

demo: build
	tools/demo.sh $(BUILD_DIR)

test-release: build services
	cd $(BUILD_DIR) && ctest --output-on-failure -j$(JOBS)

test-asan: services
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DORVO_SANITIZE=address,undefined $(CMAKE_FLAGS)
	cmake --build $(ASAN_DIR) -j$(JOBS)
	cd $(ASAN_DIR) && ctest --output-on-failure -j$(JOBS)

test-tsan: services
	cmake -S . -B $(TSAN_DIR) -DCMAKE_BUILD_TYPE=Debug -DORVO_SANITIZE=thread $(CMAKE_FLAGS)
	cmake --build $(TSAN_DIR) -j$(JOBS)
	cd $(TSAN_DIR) && TSAN_OPTIONS=suppressions=$(CURDIR)/tests/tsan.supp ctest --output-on-failure -j$(JOBS)

test-fuzz: deps
	tests/samplefile/run-fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)
	tests/osc/run-fuzz.sh $(FUZZ_DIR) $(FUZZ_SECONDS)

test: test-release test-asan test-tsan test-fuzz

# Speed figures: the engine per voice-sample, and a 60 s render beside FluidSynth.
bench: deps
	cmake -S . -B $(BENCH_DIR) -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS)
	cmake --build $(BENCH_DIR) -j$(JOBS) --target orvo_benchmarks OrvoVST orvo-host
	$(BENCH_DIR)/bench/orvo_engine_bench
	bench/render-vs-fluidsynth.sh $(BENCH_DIR)
	bench/osc-bench.sh $(BENCH_DIR)

clean:
	rm -rf build
