#!/usr/bin/env bash
# Runs the libFuzzer targets built in build-asan/ for a fixed time each.
#   scripts/fuzz.sh SECONDS PARALLEL [target...]
# PARALLEL targets run at once. New inputs go to build-asan/corpus/<target>,
# tests/fuzz/corpus/<name> is the seed, and tests/fuzz/<name>.dict is used
# when present. Crashing inputs land in build-asan/<target>-crash-*; each
# target's output is kept in build-asan/<target>.log. Fails when any target
# found a crash, a leak, a hang or a sanitizer report.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:?seconds}
parallel=${2:?parallel}
shift 2
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
    for f in "$root"/tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi

run_one() {
    local target=$1 name=${1%_fuzz}
    local dict=() out="$root/build-asan/$target.log"
    [ -f "$root/tests/fuzz/$name.dict" ] && dict=(-dict="$root/tests/fuzz/$name.dict")
    mkdir -p "$root/build-asan/corpus/$target"
    ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$root/build-asan/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 \
        -close_fd_mask=3 -print_final_stats=1 "${dict[@]}" \
        -artifact_prefix="$root/build-asan/$target-" \
        "$root/build-asan/corpus/$target" "$root/tests/fuzz/corpus/$name" >"$out" 2>&1
    local status=$?
    local execs cov
    execs=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$out" | grep -o '[0-9]*$')
    cov=$(grep -o 'cov: [0-9]*' "$out" | tail -1 | grep -o '[0-9]*$')
    if [ "$status" -eq 0 ]; then
        echo "fuzz: $target ok (${seconds} s, ${execs:-?} exec/s, cov ${cov:-?})"
    else
        echo "fuzz: $target FAILED (exit $status), last lines of $out:"
        tail -40 "$out"
    fi
    echo "$status" >"$root/build-asan/$target.status"
}

failed=0
for target in "${targets[@]}"; do
    rm -f "$root/build-asan/$target.status"
    [ -x "$root/build-asan/$target" ] || { echo "fuzz: build-asan/$target is not built"; failed=1; continue; }
    run_one "$target" &
    while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
done
wait
for target in "${targets[@]}"; do
    [ "$(cat "$root/build-asan/$target.status" 2>/dev/null)" = 0 ] || failed=1
done
exit "$failed"
