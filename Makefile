# qvox developer entry points. `make run` and `make test` are all a fresh
# Debian 12 machine needs: both install what is missing first (scripts/setup.sh).

BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
# Unit tests that exercise threads, run again under ThreadSanitizer.
TSAN_TESTS ?= Worker|Streaming|Concurrency

CONFIGURE = cmake -S . -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

.PHONY: all deps build run test format package sanitize asan tsan bench frametime textures backgrounds clouds clean distclean fuzz fuzz-build fuzz-run playbot asan-build asan-run tsan-build tsan-run

all: build

deps:
	bash scripts/setup.sh

build: deps
	$(CONFIGURE) -B build
	cmake --build build -j$(JOBS)

run: build
	./build/qvox

test: build
	bash scripts/run_tests.sh

# The Debian package of the build tree: build/qvox_VERSION_ARCH.deb (cmake/package.cmake).
package: build
	cd build && cpack -G DEB

sanitize: asan tsan

# Sanitizer instrumentation makes GCC warn falsely (format-truncation,
# stringop-overflow, maybe-uninitialized); the plain build enforces -Werror.
SANITIZE_CONFIGURE = $(CONFIGURE) -DQVOX_TESTS_ONLY=ON -DQVOX_WERROR=OFF

asan: asan-build
	$(MAKE) --no-print-directory asan-run

asan-build: deps
	$(SANITIZE_CONFIGURE) -B build-asan -DQVOX_SANITIZE=address
	cmake --build build-asan -j$(JOBS)

asan-run:
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --test-dir build-asan -L unit --output-on-failure

tsan: tsan-build
	$(MAKE) --no-print-directory tsan-run

tsan-build: deps
	$(SANITIZE_CONFIGURE) -B build-tsan -DQVOX_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS)

tsan-run:
	@if ctest --test-dir build-tsan -N -L unit -R '$(TSAN_TESTS)' | grep -q '^Total Tests: 0$$'; then \
		echo "tsan: no unit test matches '$(TSAN_TESTS)'; nothing to run"; \
	else \
		TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
			ctest --test-dir build-tsan -L unit -R '$(TSAN_TESTS)' --output-on-failure; \
	fi

# A play-bot session against the game built with ASan+UBSan; the report with
# frames, edits, worlds and memory per minute lands in build-asan-game/e2e-artifacts.
# Leak checking stays with the unit tests: the OpenGL driver is unloaded before
# the leak check at exit, so its own allocations could be neither told apart
# from the game's nor suppressed.
PLAYBOT_SECONDS ?= 600
PLAYBOT_SEED ?= 1

playbot: deps
	$(CONFIGURE) -B build-asan-game -DQVOX_SANITIZE=address -DQVOX_WERROR=OFF
	cmake --build build-asan-game -j$(JOBS) --target qvox
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 LIBGL_ALWAYS_SOFTWARE=1 \
		QVOX_PLAYBOT_SECONDS=$(PLAYBOT_SECONDS) QVOX_PLAYBOT_SEED=$(PLAYBOT_SEED) \
		python3 tests/e2e/scenarios.py playbot $(CURDIR)/build-asan-game/qvox $(CURDIR) $(CURDIR)/build-asan-game/e2e-artifacts

bench: build
	./build/qvox_bench

# Frame time of the standard scene under Xvfb with software OpenGL;
# FRAMETIME_SHOT=path.png also saves the last frame; FRAMETIME_ARGS="-d 100 -s 320x200 -n 400"
# sets the render distance, window size and frame count.
frametime: build
	LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24" ./build/qvox_frame_time $(FRAMETIME_ARGS) $(FRAMETIME_SHOT)

textures: build
	./build/qvox_gen_textures assets/textures/blocks

backgrounds: build
	./build/qvox_gen_backgrounds assets/mainmenubackground

clouds: build
	./build/qvox_gen_clouds assets/textures/clouds.png

# libFuzzer targets of tests/fuzz (clang), FUZZ_SECONDS each, FUZZ_PARALLEL at
# once; see scripts/fuzz.sh. `make test` runs the short smoke runs.
FUZZ_SECONDS ?= 20
FUZZ_PARALLEL ?= 2
FUZZ_TARGETS ?=

fuzz-build: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
		-DQVOX_FUZZ=ON -DQVOX_TESTS_ONLY=ON -DQVOX_WERROR=OFF
	cmake --build build-fuzz -j$(JOBS) --target qvox_fuzz

fuzz: fuzz-build
	$(MAKE) --no-print-directory fuzz-run

fuzz-run:
	bash scripts/fuzz.sh $(FUZZ_SECONDS) $(FUZZ_PARALLEL) $(FUZZ_TARGETS)

# Formats every C++ file of the tree with .clang-format; make test checks it.
format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i --style=file

clean:
	rm -rf build build-asan build-tsan build-fuzz build-asan-game

# Also drops the raylib and GLFW that scripts/setup.sh built.
distclean: clean
	rm -rf .deps
