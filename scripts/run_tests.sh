#!/usr/bin/env bash
# Everything `make test` runs after the plain build: the unit, smoke and
# end-to-end tests, the unit tests under ASan+UBSan and (the threaded ones)
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
