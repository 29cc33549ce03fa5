# Velox: `make run` builds and starts the player, `make test` builds and runs
# every test (plain, then under AddressSanitizer + UndefinedBehaviorSanitizer,
# then the threaded suites under ThreadSanitizer), checks the formatting and
# runs each fuzz target for a short while on its kept corpus (fuzz/corpus/).

CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure -j$(JOBS) --timeout 300

.PHONY: all deps configure build build-player package run test test-plain test-asan test-tsan \
	format format-check clean fuzz-smoke fuzz fuzz-build

all: build

deps:
	bash scripts/install-deps.sh

configure: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

build: configure
	cmake --build build -j$(JOBS)

# Only what `make run` runs: the player and the demo generator, not the test suites.
build-player: configure
	cmake --build build -j$(JOBS) --target velox-player make-demo

# Debian packages (velox-player, libvelox0, libvelox-dev) into build/packages/.
package: build
	cd build && cpack -B packages

# The demo story is generated once into examples/demo. With a display it plays full
# screen; without one it plays headless and leaves its frames and sound in out/demo.
DEMO_DIR = examples/demo
DEMO_OUT = out/demo

run: build-player
	@[ $(DEMO_DIR)/story.txt -nt build/tools/make-demo/make-demo ] || \
	    ./build/tools/make-demo/make-demo $(DEMO_DIR)
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	    ./build/player/velox-player $(DEMO_DIR) $(ARGS); \
	else \
	    out=$(CURDIR)/$(DEMO_OUT); rm -rf $$out && mkdir -p $$out && \
	    echo "make run: no display; playing $(DEMO_DIR) headless (about a minute of virtual time)" && \
	    XDG_RUNTIME_DIR=$$out ./build/player/velox-player $(DEMO_DIR) --headless \
	        --dump-frames $$out/frames --audio-out $$out/audio.wav $(ARGS) >$$out/result.txt; \
	    rc=$$?; rm -f $$out/*.lock; cat $$out/result.txt; \
	    echo "make run: frames in $(DEMO_OUT)/frames/, sound in $(DEMO_OUT)/audio.wav," \
	        "result line in $(DEMO_OUT)/result.txt"; \
	    exit $$rc; \
	fi

test: format-check test-plain test-asan test-tsan fuzz-smoke
	@n=0; for d in build build-asan build-tsan; do \
	    c=$$(ctest --test-dir $$d -N | sed -n 's/^Total Tests: //p'); n=$$((n + c)); \
	done; echo "make test: $$n passed, 0 failed"

test-plain: build
	cd build && $(CTEST)

test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELOX_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp UBSAN_OPTIONS=print_stacktrace=1 $(CTEST)

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELOX_TSAN=ON $(CMAKE_FLAGS)
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" $(CTEST)

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format:
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf build build-asan build-tsan

# Fuzzing. Every target keeps its corpus in fuzz/corpus/<target>/ (minimised; grown
# from the files fuzz/make-seeds.py writes) and its dictionary in fuzz/dict/.
# fuzz-smoke runs each target for FUZZ_SMOKE_SECONDS on the kept corpus plus the
# seeds the tests wrote, keeping what it finds in build-fuzz/found/<target>/ only;
# `make fuzz FUZZ_SECONDS=N` runs each for N seconds and merges its finds back into
# the kept corpus. A crash stops either, with the reproducer in build-fuzz/. Paths are
# absolute: a target may change its current folder. fuzz/<target>.flags, when present,
# adds options for one target (the story target keeps inputs to 1 KB: a longer story
# only repeats lines, at a tenth of the speed).
FUZZ_SMOKE_SECONDS ?= 30
FUZZ_SECONDS ?= 600
FUZZ_FLAGS = -rss_limit_mb=2048 -timeout=25 -print_final_stats=1 -artifact_prefix=$(CURDIR)/build-fuzz/
FUZZ_ENV = LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp
fuzz-build:
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELOX_FUZZ=ON -DVELOX_TESTS=OFF
	cmake --build build-fuzz -j$(JOBS)

fuzz-smoke: build test-plain fuzz-build
	@set -e; for f in build-fuzz/fuzz/*Fuzz; do \
	    [ -x "$$f" ] || continue; name=$$(basename $$f); \
	    mkdir -p build/fuzz-corpus/$$name build-fuzz/found/$$name fuzz/corpus/$$name; \
	    echo "fuzz-smoke: $$name for $(FUZZ_SMOKE_SECONDS) s"; \
	    $(FUZZ_ENV) $$f -max_total_time=$(FUZZ_SMOKE_SECONDS) $(FUZZ_FLAGS) $$(cat fuzz/$$name.flags 2>/dev/null) -dict=$(CURDIR)/fuzz/dict/$$name.dict \
	        $(CURDIR)/build-fuzz/found/$$name $(CURDIR)/fuzz/corpus/$$name $(CURDIR)/build/fuzz-corpus/$$name \
	        2>build-fuzz/$$name.log || { tail -50 build-fuzz/$$name.log; exit 1; }; \
	done

fuzz: fuzz-build
	@set -e; for f in build-fuzz/fuzz/*Fuzz; do \
	    [ -x "$$f" ] || continue; name=$$(basename $$f); \
	    mkdir -p build-fuzz/found/$$name fuzz/corpus/$$name; \
	    echo "fuzz: $$name for $(FUZZ_SECONDS) s"; \
	    $(FUZZ_ENV) $$f -max_total_time=$(FUZZ_SECONDS) $(FUZZ_FLAGS) $$(cat fuzz/$$name.flags 2>/dev/null) -dict=$(CURDIR)/fuzz/dict/$$name.dict \
	        $(CURDIR)/build-fuzz/found/$$name $(CURDIR)/fuzz/corpus/$$name \
	        2>build-fuzz/$$name.log || { tail -50 build-fuzz/$$name.log; exit 1; }; \
	    grep -E 'stat::number_of_executed_units|cov:' build-fuzz/$$name.log | tail -2; \
	    $(FUZZ_ENV) $$f -merge=1 $(FUZZ_FLAGS) $(CURDIR)/fuzz/corpus/$$name $(CURDIR)/build-fuzz/found/$$name \
	        2>build-fuzz/$$name.merge.log || { tail -20 build-fuzz/$$name.merge.log; exit 1; }; \
	done
