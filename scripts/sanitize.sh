#!/usr/bin/env bash
# Builds with a sanitizer into a folder of its own and runs tests there. Any sanitizer report fails
# the run, also one written by a program a test starts: every process logs into one fresh folder,
# which must be empty at the end.
#   scripts/sanitize.sh address   AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer;
#                                 the whole project and its test suite, in build-asan/
#   scripts/sanitize.sh thread    ThreadSanitizer; the tests that run the AutoPlay pop-up closer on
#                                 a worker thread, in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=${1:-}

case "$mode" in
address)
    build=build-asan
    flags='-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined'
    targets=()
    # Not run here: tst_debianpackage checks the package a user installs, whose binaries come
    # from the normal build: packing these would pull libasan into its dependencies and sizes.
    exclude='^tst_debianpackage$'
    include='.'
    # The end-to-end wizard runs alone, with the fast unwinder and no leak check: full unwinding
    # on every allocation slows the real window on Xvfb until it misses the keys it is sent.
    # tst_startup checks the real updater for leaks.
    fastUnwind='^tst_wizard$'
    ;;
thread)
    build=build-tsan
    flags='-fsanitize=thread -fno-omit-frame-pointer'
    # The only tests that start the pop-up closer on a pool thread, on the simulated Windows.
    targets=(--target tst_windetector)
    exclude='^$'
    include='^tst_windetector$'
    fastUnwind=''
    ;;
*)
    echo "usage: scripts/sanitize.sh address|thread" >&2
    exit 2
    ;;
esac

scripts/deps.sh

# The build runs our own tools too (sample art, package builder): their reports count as well.
reports=$root/$build/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"
rm -f "$build"/Testing/Temporary/LastTest*.log
supp=$root/scripts/sanitizers
# Full unwinding on malloc: Debian's Qt has no frame pointers, and the leaks inside it can only be
# told from ours by the frames beyond its first.
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:fast_unwind_on_malloc=0:check_initialization_order=1:detect_stack_use_after_return=1:handle_abort=1"
# UBSan, a runtime of its own beside ASan, prints to stderr whatever log_path says. Aborting hands
# its error to ASan's signal handler, whose report (UBSan's handler and our frame in its stack)
# lands in the folder.
export UBSAN_OPTIONS="log_path=$reports/asan:print_stacktrace=1:halt_on_error=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$supp/lsan.supp:print_suppressions=0"
# Qt's own malloc, free and pthread calls are left out of race checking (see tsan.supp); its
# locks still order our accesses.
export TSAN_OPTIONS="log_path=$reports/tsan:halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1:suppressions=$supp/tsan.supp"

# Debug keeps Q_ASSERT; -O1 keeps the instrumented suite fast enough.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=g++ \
    -DCMAKE_CXX_FLAGS="-O1 $flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    -DCMAKE_SHARED_LINKER_FLAGS="$flags" -DCMAKE_MODULE_LINKER_FLAGS="$flags" >/dev/null
status=0
cmake --build "$build" -j"$(nproc)" "${targets[@]}" || status=$?

runTests() {
    (cd "$build" && xvfb-run -a -s '-screen 0 1280x1024x24' ctest --output-on-failure \
        -j"$(nproc)" --repeat until-pass:2 "$@") || status=$?
}
if [ "$status" -eq 0 ]; then
    if [ -n "$fastUnwind" ]; then
        runTests -R "$include" -E "$exclude|$fastUnwind"
        cp "$build/Testing/Temporary/LastTest.log" "$build/Testing/Temporary/LastTest-first.log"
        ASAN_OPTIONS="$ASAN_OPTIONS:fast_unwind_on_malloc=1:detect_leaks=0" runTests -R "$fastUnwind"
    else
        runTests -R "$include" -E "$exclude"
    fi
fi

shopt -s nullglob
# A test's own UBSan abort meets Qt Test's signal handler rather than ASan's: its report is looked
# for in the tests' output.
grep -h -B2 -A12 'runtime error:' "$build"/Testing/Temporary/LastTest*.log \
    >"$reports/ubsan-in-test-output" 2>/dev/null || true
[ -s "$reports/ubsan-in-test-output" ] || rm -f "$reports/ubsan-in-test-output"
found=("$reports"/*)
if [ ${#found[@]} -gt 0 ]; then
    for report in "${found[@]}"; do
        echo "==== $report"
        cat "$report"
    done
    echo "sanitize.sh $mode: ${#found[@]} sanitizer report(s) in $reports" >&2
    exit 1
fi
exit "$status"
