# make run: install what is missing, build the release binary, run the service in the foreground.
# make test: install what is missing, build with sanitizers, run every test through ctest.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
RELEASE_DIR := build/release
TEST_DIR := build/test
SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: run test deps release test-build bench fuzz clean

deps:
	@$(SUDO) bash scripts/install-deps.sh

release: deps
	cmake -S . -B $(RELEASE_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARNVALE_STATIC=ON -DTARNVALE_TESTS=OFF -DTARNVALE_BENCHMARKS=ON
	cmake --build $(RELEASE_DIR) -j $(JOBS)

run: release
	exec $(RELEASE_DIR)/modules/tarnvale/tarnvale

test-build: deps
	bash scripts/install-npm-deps.sh
	cmake -S . -B $(TEST_DIR) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNVALE_SANITIZE=ON
	cmake --build $(TEST_DIR) -j $(JOBS)

# The end-to-end run that uses up every descriptor needs a binary without sanitizers.
test: test-build release
	cd $(TEST_DIR) && TARNVALE_RELEASE_BINARY=$(CURDIR)/$(RELEASE_DIR)/modules/tarnvale/tarnvale \
	  ctest --output-on-failure -j $(JOBS) --timeout 600

bench: release
	@for b in $(RELEASE_DIR)/modules/tarnvale/tarnvale_*_benchmark; do echo "== $$b"; $$b; done

clean:
	rm -rf build
