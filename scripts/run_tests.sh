#!/usr/bin/env bash
# Everything `make test` runs: the set-up (once), the format check, the plain
# build, the clang ASan+UBSan build (unit tests and fuzz targets) and the TSan build, then
# the unit and smoke tests, the end-to-end tests, the unit tests under
# ASan+UBSan, the threaded ones under TSan, and a short run of every fuzz
# target. Every build ends before a test starts, so the end-to-end tests never
# share the cores with a compiler. Every stage runs even after a failure; the
# exit status says whether all of them passed, and each stage's time is printed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
make=(${MAKE:-make} --no-print-directory DEPS=)
status=0
timings=()

stage() {
    local name=$1 started=$SECONDS result=0
    shift
    echo "== $name"
    "$@" || result=1
    timings+=("$(printf '%-28s %4d s%s' "$name" $((SECONDS - started)) "$([ $result = 0 ] || echo '  FAILED')")")
    [ $result = 0 ] || status=1
    return $result
}

format_check() {
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror --style=file \
        || { echo "these files differ from .clang-format; run make format"; return 1; }
}

# clang-format comes with the set-up; a file out of format fails the run but
# does not keep the tests from running.
if stage "set-up" "${make[@]}" deps; then
    stage "format check" format_check
    if stage "plain build" "${make[@]}" build && stage "ASan+UBSan and fuzz build" "${make[@]}" asan-build \
        && stage "TSan build" "${make[@]}" tsan-build; then
        stage "unit and smoke tests" ctest --test-dir build -L 'unit|threads|smoke' --no-tests=error -j2 --output-on-failure
        stage "end-to-end tests" ctest --test-dir build -L e2e --no-tests=error --output-on-failure
        stage "unit tests, ASan+UBSan" "${make[@]}" asan-run
        stage "threaded tests, TSan" "${make[@]}" tsan-run
        stage "fuzz targets" "${make[@]}" fuzz-run FUZZ_SECONDS=5
    fi
fi

echo "== time of each stage"
printf '%s\n' "${timings[@]}"
exit "$status"
