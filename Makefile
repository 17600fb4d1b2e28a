# Thin wrapper: every target bootstraps (installs what is missing, configures)
# and then builds incrementally with Ninja.
BUILD ?= build
JOBS ?= 2
CTEST_ARGS ?=

.PHONY: all build demo test asan tsan clean

all: build

build:
	@scripts/bootstrap.sh --build-dir $(BUILD)
	@cmake --build $(BUILD) -j $(JOBS)

demo: build
	@$(BUILD)/bin/zqhost info

test:
	@scripts/bootstrap.sh --build-dir $(BUILD)
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

asan:
	@scripts/bootstrap.sh --build-dir build-asan --preset asan
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

tsan:
	@scripts/bootstrap.sh --build-dir build-tsan --preset tsan
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

clean:
	rm -rf build build-asan build-tsan
