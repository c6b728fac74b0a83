# Two entry points: `make run` builds and starts the program, `make test` builds and runs every test
# (a plain build and a build under AddressSanitizer + UndefinedBehaviorSanitizer).
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 20

.PHONY: deps build run test test-plain test-asan fuzz bench clean

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

# Every fuzzer runs for FUZZ_SECONDS from a corpus made in code; a finding fails the run.
fuzz: deps
	@test -f $(FUZZ_BUILD)/CMakeCache.txt || cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_CXX_COMPILER=clang++ -DORVEK_FUZZ=ON -DORVEK_TESTS=OFF -DORVEK_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_settings_text fuzz_exif_reader fuzz_exif_seeds \
	    fuzz_flight_log fuzz_flight_log_seeds fuzz_place_data fuzz_place_data_seeds
	@mkdir -p $(FUZZ_BUILD)/corpus/exif $(FUZZ_BUILD)/corpus/settings $(FUZZ_BUILD)/corpus/flightlog \
	    $(FUZZ_BUILD)/corpus/placedata
	$(FUZZ_BUILD)/bin/fuzz_exif_seeds $(FUZZ_BUILD)/corpus/exif
	$(FUZZ_BUILD)/bin/fuzz_flight_log_seeds $(FUZZ_BUILD)/corpus/flightlog
	$(FUZZ_BUILD)/bin/fuzz_place_data_seeds $(FUZZ_BUILD)/corpus/placedata
	$(FUZZ_BUILD)/bin/fuzz_exif_reader -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus/exif
	$(FUZZ_BUILD)/bin/fuzz_settings_text -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus/settings
	$(FUZZ_BUILD)/bin/fuzz_flight_log -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus/flightlog
	$(FUZZ_BUILD)/bin/fuzz_place_data -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $(FUZZ_BUILD)/corpus/placedata

test: test-plain test-asan fuzz

bench: build
	@for b in $(BUILD)/bin/bench_*; do "$$b"; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
