#!/usr/bin/env bash
# Everything `make test` runs after the plain build: the format check, the
# unit, smoke and end-to-end tests, the unit tests under ASan+UBSan and (the threaded ones)
# TSan, and a short run of every fuzz target.
#
# The end-to-end tests spend most of their time waiting for the game's frames,
# so the sanitizer and fuzzer builds compile meanwhile at the lowest priority,
# where they take only what the tests leave idle. Every stage runs even after a
# failure; the exit status says whether all of them passed.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
make=${MAKE:-make}
log=build/background-builds.log

nice -n 19 "$make" --no-print-directory asan-build tsan-build fuzz-build >"$log" 2>&1 &
builds=$!

status=0
# Every C++ file of the tree must be formatted as .clang-format says (make format).
if ! git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror --style=file; then
    echo "these files differ from .clang-format; run make format"
    status=1
fi
ctest --test-dir build --output-on-failure || status=1

if ! wait "$builds"; then
    echo "the sanitizer or fuzzer builds failed; the end of $log:"
    tail -n 60 "$log"
    exit 1
fi
"$make" --no-print-directory asan-run || status=1
"$make" --no-print-directory tsan-run || status=1
"$make" --no-print-directory fuzz-run || status=1
exit "$status"
