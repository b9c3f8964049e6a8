#!/usr/bin/env bash
# Builds the fuzz harnesses into build-fuzz/ and runs each for SECONDS (default 20) on a scratch
# copy of its seed corpus, two at a time. Fails on any crash, leak, time-out or memory blow-up;
# the input that did it is kept under build-fuzz/artifacts/.
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
# The harnesses' own scratch files too, so a crashed one leaves nothing behind.
export TMPDIR=$scratch
artifacts=$root/build-fuzz/artifacts
rm -rf "$artifacts"
mkdir -p "$artifacts"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run() {
    local harness=$1 work=$scratch/$1
    mkdir -p "$work/corpus"
    cp "fuzz/corpus/$harness"/* "$work/corpus/"
    local status=0
    # From the scratch folder, so nothing the harness or libFuzzer writes lands in the work tree.
    (cd "$work" && "$root/build-fuzz/fuzz/$harness" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -detect_leaks=1 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$harness-" corpus >log 2>&1) || status=$?
    echo "$status" >"$work/status"
}

harnesses=()
for corpus in fuzz/corpus/*/; do
    harnesses+=("$(basename "$corpus")")
done
echo "Fuzzing ${harnesses[*]} for ${seconds}s each"
# Two at a time: one per core.
for ((i = 0; i < ${#harnesses[@]}; i += 2)); do
    run "${harnesses[i]}" &
    if [ $((i + 1)) -lt ${#harnesses[@]} ]; then
        run "${harnesses[i + 1]}" &
    fi
    wait
done

failed=()
printf '\n%-20s %12s %10s %8s %s\n' harness executions exec/s rss-MB result
for harness in "${harnesses[@]}"; do
    log=$scratch/$harness/log
    status=$(cat "$scratch/$harness/status")
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    rss=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
    result=ok
    if [ "$status" -ne 0 ]; then
        result="FAILED ($status)"
        failed+=("$harness")
    fi
    printf '%-20s %12s %10s %8s %s\n' "$harness" "${runs:--}" "${speed:--}" "${rss:--}" "$result"
done
if [ ${#failed[@]} -gt 0 ]; then
    for harness in "${failed[@]}"; do
        echo "---- $harness"
        grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$scratch/$harness/log" \
            | head -n 20 || true
        tail -n 40 "$scratch/$harness/log"
    done >&2
    echo "fuzzing found faults in: ${failed[*]} (inputs in $artifacts)" >&2
    exit 1
fi
