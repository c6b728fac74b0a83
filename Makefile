# Two entry points: `make run` builds and starts the program, `make test` builds and runs every test
# (a plain build, a build under AddressSanitizer + UndefinedBehaviorSanitizer, the threaded tests
# under ThreadSanitizer, and the fuzzers briefly).
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc)
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")

FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 20

.PHONY: deps build run test test-plain test-asan test-tsan fuzz bench package clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@bash scripts/run-program.sh $(BUILD)/bin/orvek-file

# The Debian package, from a release build of the program alone: build-package/orvek-file_*.deb.
PACKAGE_BUILD ?= build-package
package: deps
	@test -f $(PACKAGE_BUILD)/CMakeCache.txt || cmake -S . -B $(PACKAGE_BUILD) $(GENERATOR) \
	    -DCMAKE_BUILD_TYPE=Release -DORVEK_TESTS=OFF -DORVEK_BENCH=OFF
	cmake --build $(PACKAGE_BUILD) -j $(JOBS) --target package

test-plain: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@test -f $(ASAN_BUILD)/CMakeCache.txt || cmake -S . -B $(ASAN_BUILD) $(GENERATOR) \
	    -DCMAKE_BUILD_TYPE=Debug -DORVEK_SANITIZE=ON -DORVEK_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The tests of the threads: the engine, the windows and the previews. A report fails the run; no
# report is suppressed. Qt, FFmpeg and glibc are not built with the sanitizer, so what they touch
# through its interceptors is left out (ignore_noninstrumented_modules), and the hand-overs of
# posted calls through Qt's queue are annotated where they are made. Left out: the two tests whose subject is another process (a killed export, exiftool), since a
# process started with QProcess shares this one's memory until its exec, which the sanitizer
# cannot follow.
TSAN_TESTS  := playback_tests playback_ui_tests preview_tests app_tests
TSAN_FILTER := -ExportKill.*:FrameTelemetry.ACaptureCarriesItsTimeAndPositionForOurReaderAndExiftool
TSAN_ENV    := QT_QPA_PLATFORM=offscreen \
    TSAN_OPTIONS="halt_on_error=1 ignore_noninstrumented_modules=1"
test-tsan: deps
	@test -f $(TSAN_BUILD)/CMakeCache.txt || cmake -S . -B $(TSAN_BUILD) $(GENERATOR) \
	    -DCMAKE_BUILD_TYPE=Debug -DORVEK_TSAN=ON -DORVEK_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(TSAN_TESTS)
	@for t in $(TSAN_TESTS); do \
	    echo "== $$t under ThreadSanitizer"; \
	    $(TSAN_ENV) $(TSAN_BUILD)/bin/$$t --gtest_filter='$(TSAN_FILTER)' --gtest_brief=1 || exit 1; \
	done

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

test: test-plain test-asan test-tsan fuzz

bench: build
	@for b in $(BUILD)/bin/bench_*; do "$$b"; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(PACKAGE_BUILD)
