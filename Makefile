# Two entry points: `make run` builds and starts the program, `make test` builds and runs every test
# (a plain build and a build under AddressSanitizer + UndefinedBehaviorSanitizer).
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

.PHONY: deps build run test test-plain test-asan bench clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run-program.sh $(BUILD)/bin/orvek-file

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@test -f $(ASAN_BUILD)/CMakeCache.txt || cmake -S . -B $(ASAN_BUILD) $(GENERATOR) \
	    -DCMAKE_BUILD_TYPE=Debug -DORVEK_SANITIZE=ON -DORVEK_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

test: test-plain test-asan

bench: build
	@for b in $(BUILD)/bin/bench_*; do "$$b"; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
