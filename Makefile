# qvox developer entry points. `make run` and `make test` are all a fresh
# Debian 12 machine needs: both install what is missing first (scripts/setup.sh).

BUILD_TYPE ?= RelWithDebInfo
JOBS ?= 2
# Unit tests that exercise threads, run again under ThreadSanitizer.
TSAN_TESTS ?= Worker|Streaming|Concurrency

CONFIGURE = cmake -S . -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

.PHONY: all deps build run test sanitize asan tsan bench frametime textures backgrounds clouds clean distclean fuzz

all: build

deps:
	bash scripts/setup.sh

build: deps
	$(CONFIGURE) -B build
	cmake --build build -j$(JOBS)

run: build
	./build/qvox

test: build
	ctest --test-dir build --output-on-failure
	$(MAKE) --no-print-directory sanitize

sanitize: asan tsan

# Sanitizer instrumentation makes GCC warn falsely (format-truncation,
# stringop-overflow, maybe-uninitialized); the plain build enforces -Werror.
SANITIZE_CONFIGURE = $(CONFIGURE) -DQVOX_TESTS_ONLY=ON -DQVOX_WERROR=OFF

asan: deps
	$(SANITIZE_CONFIGURE) -B build-asan -DQVOX_SANITIZE=address
	cmake --build build-asan -j$(JOBS)
	ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		ctest --test-dir build-asan -L unit --output-on-failure

tsan: deps
	$(SANITIZE_CONFIGURE) -B build-tsan -DQVOX_SANITIZE=thread
	cmake --build build-tsan -j$(JOBS)
	@if ctest --test-dir build-tsan -N -L unit -R '$(TSAN_TESTS)' | grep -q '^Total Tests: 0$$'; then \
		echo "tsan: no unit test matches '$(TSAN_TESTS)'; nothing to run"; \
	else \
		TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
			ctest --test-dir build-tsan -L unit -R '$(TSAN_TESTS)' --output-on-failure; \
	fi

bench: build
	./build/qvox_bench

# Frame time of the standard scene under Xvfb with software OpenGL;
# FRAMETIME_SHOT=path.png also saves the last frame.
frametime: build
	LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24" ./build/qvox_frame_time $(FRAMETIME_SHOT)

textures: build
	./build/qvox_gen_textures assets/textures/blocks

backgrounds: build
	./build/qvox_gen_backgrounds assets/mainmenubackground

clouds: build
	./build/qvox_gen_clouds assets/textures/clouds.png

# libFuzzer targets of tests/fuzz, FUZZ_SECONDS each, one after the other.
# New inputs go to build-fuzz/corpus/<name>; tests/fuzz/corpus/<name> is the seed.
FUZZ_SECONDS ?= 20
FUZZ_TARGETS ?= $(basename $(notdir $(wildcard tests/fuzz/*_fuzz.cpp)))

fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
		-DQVOX_FUZZ=ON -DQVOX_TESTS_ONLY=ON -DQVOX_WERROR=OFF
	cmake --build build-fuzz -j$(JOBS) --target qvox_fuzz
	@set -e; for t in $(FUZZ_TARGETS); do \
		echo "== $$t ($(FUZZ_SECONDS) s)"; \
		mkdir -p build-fuzz/corpus/$$t; \
		ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
			./build-fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=30 -close_fd_mask=3 -print_final_stats=1 \
			-artifact_prefix=$(CURDIR)/build-fuzz/$$t- $(CURDIR)/build-fuzz/corpus/$$t $(CURDIR)/tests/fuzz/corpus/$${t%_fuzz}; \
	done

clean:
	rm -rf build build-asan build-tsan

# Also drops the raylib and GLFW that scripts/setup.sh built.
distclean: clean
	rm -rf .deps
