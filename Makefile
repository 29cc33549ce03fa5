# Velox: `make run` plays the demo, `make test` builds and runs every test
# (plain, then under AddressSanitizer + UndefinedBehaviorSanitizer, then the
# threaded suites under ThreadSanitizer) and checks the formatting.

CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure -j$(JOBS) --timeout 300

.PHONY: all deps build run test test-plain test-asan test-tsan format format-check clean

all: build

deps:
	bash scripts/install-deps.sh

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build build -j$(JOBS)

run: build
	./build/player/velox-player $(ARGS)

test: format-check test-plain test-asan test-tsan

test-plain: build
	cd build && $(CTEST)

test-asan: deps
	cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELOX_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build build-asan -j$(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 $(CTEST)

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVELOX_TSAN=ON $(CMAKE_FLAGS)
	cmake --build build-tsan -j$(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 $(CTEST)

SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

format:
	clang-format -i $(SOURCES)

format-check: deps
	clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf build build-asan build-tsan
