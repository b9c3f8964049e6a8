#!/usr/bin/env bash
# Check, write and verify against md5sum + cp + sync + cmp, for 1, 16 and 64 MiB images, on a
# tmpfs and on the disk. Times are medians in ms; memory is peak RSS in MiB.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build -j2 --target tarsel-bench-update >/dev/null
bench=build/bench/update/tarsel-bench-update
reps=${REPS:-5}

disk=$(mktemp -d "${DISK_DIR:-$PWD/build}/bench-update.XXXXXX")
mem=$(mktemp -d /tmp/bench-update-tmpfs.XXXXXX)
mounted=0
cleanup() {
    if [ "$mounted" = 1 ]; then umount "$mem"; fi
    rm -rf "$disk" "$mem"
}
trap cleanup EXIT
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=1g tmpfs "$mem" 2>/dev/null; then
    mounted=1
    memlabel=tmpfs
else
    rm -rf "$mem"
    mem=$(mktemp -d /dev/shm/bench-update.XXXXXX)
    memlabel=shm
fi

printf '%-6s %5s %9s %9s %6s %9s %9s %9s %8s %10s %10s %9s\n' fs MiB ours_ms base_ms ratio \
    ours_peak base_peak peak_goal cmp_ms cmp_cold cmp_warm check_ms
for place in "$memlabel:$mem" "disk:$disk"; do
    label=${place%%:*}
    root=${place#*:}
    for size in 1 16 64; do
        work="$root/$size"
        mkdir -p "$work"
        # The package's rcc is staged beside the images, on the same file system.
        TMPDIR="$work" "$bench" "$label" "$work" "$size" "$reps" |
            awk '{printf "%-6s %5s %9s %9s %6s %9s %9s %9s %8s %10s %10s %9s\n", $1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12}'
        rm -rf "$work"
    done
done
echo "ratio = ours/base; cmp_ms = the baseline's cmp (reads the cache); cmp_cold/cmp_warm = our"
echo "comparison after dropping the written file's pages / straight after (in ms)."
