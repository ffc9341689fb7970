# qvox developer entry points. `make run` and `make test` are all a fresh
# Debian 12 machine needs: both install what is missing first (scripts/setup.sh).

BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
# `make test` installs once and passes DEPS= to the builds it starts itself.
DEPS ?= deps

CONFIGURE = cmake -S . -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

.PHONY: all deps build run test format package sanitize asan tsan bench frametime textures backgrounds clouds clean distclean fuzz fuzz-run mutate playbot asan-build asan-run tsan-build tsan-run

all: build

deps:
	bash scripts/setup.sh

build: $(DEPS)
	$(CONFIGURE) -B build
	cmake --build build -j$(JOBS)

run: build
	./build/qvox

test:
	bash scripts/run_tests.sh

# The Debian package of the build tree: build/qvox_VERSION_ARCH.deb (cmake/package.cmake).
package: build
	cd build && cpack -G DEB

sanitize: asan tsan

# One clang build with ASan+UBSan serves the unit tests and the fuzz targets.
# Sanitizer instrumentation makes compilers warn falsely; the plain build enforces -Werror.
asan: asan-build
	$(MAKE) --no-print-directory asan-run

asan-build: $(DEPS)
	$(CONFIGURE) -B build-asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
		-DQVOX_TESTS_ONLY=ON -DQVOX_WERROR=OFF -DQVOX_SANITIZE=address -DQVOX_FUZZ=ON
	cmake --build build-asan -j$(JOBS) --target qvox_tests qvox_thread_tests qvox_fuzz

asan-run:
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --test-dir build-asan -L 'unit|threads' --no-tests=error -j$(JOBS) --output-on-failure

# ThreadSanitizer runs the unit tests that start a worker thread (label threads),
# except the chunk-index test: it touches all 4,096 chunk records (2 GiB) with
# no thread but the idle worker, and under TSan that alone took 50 s.
tsan: tsan-build
	$(MAKE) --no-print-directory tsan-run

tsan-build: $(DEPS)
	$(CONFIGURE) -B build-tsan -DQVOX_TESTS_ONLY=ON -DQVOX_WERROR=OFF -DQVOX_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS) --target qvox_thread_tests

tsan-run:
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
		ctest --test-dir build-tsan -L threads -E IndexFollowsRandomRemovalsUpToCapacity --no-tests=error -j$(JOBS) \
		--output-on-failure

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

# libFuzzer targets of tests/fuzz, built in build-asan; each replays its corpus
# and then fuzzes for FUZZ_SECONDS, FUZZ_PARALLEL at once (scripts/fuzz.sh).
FUZZ_SECONDS ?= 20
FUZZ_PARALLEL ?= 2
FUZZ_TARGETS ?=

fuzz: asan-build
	$(MAKE) --no-print-directory fuzz-run

fuzz-run:
	bash scripts/fuzz.sh $(FUZZ_SECONDS) $(FUZZ_PARALLEL) $(FUZZ_TARGETS)

# Mutation sampling: how many small faults in src/ the unit tests catch
# (scripts/mutate.py; MUTATE_ARGS="--count 120 --seed 13").
mutate: $(DEPS)
	python3 scripts/mutate.py $(MUTATE_ARGS)

# Formats every C++ file of the tree with .clang-format; make test checks it.
format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i --style=file

clean:
	rm -rf build build-asan build-tsan build-asan-game build-mutate

# Also drops the raylib and GLFW that scripts/setup.sh built.
distclean: clean
	rm -rf .deps
