# Thin wrapper: every target bootstraps (installs what is missing, configures)
# and then builds incrementally with Ninja.
BUILD ?= build
JOBS ?= 2
CTEST_ARGS ?=
FUZZ_SECONDS ?= 60
SOAK_SECONDS ?= 600

.PHONY: all build demo test bench asan tsan fuzz soak clean

all: build

build:
	@scripts/bootstrap.sh --build-dir $(BUILD)
	@cmake --build $(BUILD) -j $(JOBS)

# The plug-in as the host sees it, then the main job: a loopback call. The
# build's own lines are kept in build.log and shown only when it fails, so
# the screen holds the demo's output alone.
demo:
	@scripts/bootstrap.sh --build-dir $(BUILD)
	@if ninja -C $(BUILD) -n 2>/dev/null | grep -q '^\['; then echo "make demo: building (log in $(BUILD)/build.log)"; fi
	@cmake --build $(BUILD) -j $(JOBS) > $(BUILD)/build.log 2>&1 || { cat $(BUILD)/build.log; exit 1; }
	@$(BUILD)/bin/zqhost info
	@$(BUILD)/bin/zqhost demo

test:
	@scripts/bootstrap.sh --build-dir $(BUILD) --with-interop
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Benchmarks against bare UDP and oRTP: medians of 5 runs, one table. A
# private network namespace keeps other traffic off the loopback when it can.
BENCH_BUILD ?= build-bench
bench:
	@scripts/bootstrap.sh --with-bench --build-dir $(BENCH_BUILD)
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target bench
	@bench/run.sh $(BENCH_BUILD)

asan:
	@scripts/bootstrap.sh --build-dir build-asan --preset asan
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

tsan:
	@scripts/bootstrap.sh --build-dir build-tsan --preset tsan
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Each fuzz target for FUZZ_SECONDS (clang, libFuzzer, ASan + UBSan).
fuzz:
	@scripts/bootstrap.sh --build-dir build-fuzz --preset fuzz
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers
	@fuzz/run.sh build-fuzz $(FUZZ_SECONDS)

# 4 sender/receiver pairs for SOAK_SECONDS; fails when RSS or descriptors grow.
soak:
	@scripts/bootstrap.sh --build-dir $(BUILD)
	@cmake -S . -B $(BUILD) -DZQ_SOAK=ON > /dev/null
	@cmake --build $(BUILD) -j $(JOBS) --target soak
	@$(BUILD)/bin/soak --seconds $(SOAK_SECONDS)

clean:
	rm -rf build build-asan build-tsan build-fuzz
