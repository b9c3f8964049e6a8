#!/usr/bin/env bash
# Builds the fuzz harnesses into build-fuzz/ and runs each for SECONDS (default 20) on a scratch
# copy of its seed corpus. Fails on any crash, leak, time-out or memory blow-up; the input that
# did it is kept under build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
root=$PWD

scripts/deps.sh
cmake -S . -B build-fuzz -DTARSEL_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2

# Every input goes through a scratch file; in memory that is several times faster than on disk.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
artifacts=$root/build-fuzz/artifacts
mkdir -p "$artifacts"

export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
failed=()
rows=()
for corpus in fuzz/corpus/*/; do
    harness=$(basename "$corpus")
    work=$scratch/$harness
    mkdir -p "$work/corpus"
    cp "$corpus"/* "$work/corpus/"
    echo "== $harness: ${seconds}s"
    status=0
    # From the scratch folder, so nothing the harness or libFuzzer writes lands in the work tree.
    (cd "$work" && "$root/build-fuzz/fuzz/$harness" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -detect_leaks=1 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$harness-" corpus >log 2>&1) || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
    if [ "$status" -ne 0 ]; then
        failed+=("$harness")
        grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$work/log" | head -n 20 >&2 || true
        tail -n 40 "$work/log" >&2
    fi
    rows+=("$(printf '%-20s %12s %10s %s' "$harness" "${runs:--}" "${speed:--}" \
        "$([ "$status" -eq 0 ] && echo ok || echo "FAILED ($status)")")")
done

printf '\n%-20s %12s %10s %s\n' harness executions exec/s result
printf '%s\n' "${rows[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found faults in: ${failed[*]} (inputs in $artifacts)" >&2
    exit 1
fi
