#!/usr/bin/env bash
# Check, write and verify against md5sum + cp + sync + cmp, for 1, 64, 256 and 1024 MiB images on a
# tmpfs (SIZES="..." to choose, DISK=1 to add the disk), then tarsel-update's own peak memory on a
# simulated product with a package of each size. Times are medians in ms; memory is peak RSS in
# MiB. BENCH=path runs another build's tarsel-bench-update (a "before" build) in the same way.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build -j2 --target tarsel-bench-update tarsel-update tarsel-package tarsel-sim >/dev/null
bench=${BENCH:-build/bench/update/tarsel-bench-update}
reps=${REPS:-5}
sizes=${SIZES:-1 64 256 1024}

mem=$(mktemp -d /tmp/bench-update-tmpfs.XXXXXX)
disk=
mounted=0
cleanup() {
    if [ "$mounted" = 1 ]; then umount "$mem"; fi
    rm -rf "$mem" ${disk:+"$disk"}
}
trap cleanup EXIT
# Package, volume and the baseline's copy of the largest image side by side, with room to spare.
if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=6g tmpfs "$mem" 2>/dev/null; then
    mounted=1
    memlabel=tmpfs
else
    rm -rf "$mem"
    mem=$(mktemp -d /dev/shm/bench-update.XXXXXX)
    memlabel=shm
fi
places=("$memlabel:$mem")
if [ "${DISK:-0}" = 1 ]; then
    disk=$(mktemp -d "${DISK_DIR:-$PWD/build}/bench-update.XXXXXX")
    places+=("disk:$disk")
fi

printf '%-6s %5s %9s %9s %6s %9s %9s %9s %8s %10s %10s %9s\n' fs MiB ours_ms base_ms ratio \
    ours_peak base_peak peak_goal cmp_ms cmp_cold cmp_warm check_ms
for place in "${places[@]}"; do
    label=${place%%:*}
    root=${place#*:}
    for size in $sizes; do
        work="$root/$size"
        mkdir -p "$work"
        # The package's rcc is staged beside the images, on the same file system.
        TMPDIR="$work" "$bench" "$label" "$work" "$size" "$reps" |
            awk '{printf "%-6s %5s %9s %9s %6s %9s %9s %9s %8s %10s %10s %9s\n", $1,$2,$3,$4,$5,$6,$7,$8,$9,$10,$11,$12}'
        rm -rf "$work"
    done
done
echo "ratio = ours/base; cmp_ms = the baseline's cmp (reads the cache); cmp_cold/cmp_warm = our"
echo "comparison after dropping the written file's pages / straight after (in ms);"
echo "peak_goal = the bound for a 256 MiB image in tarsel-update."

# tarsel-update as a user runs it: a package built by tarsel-package around an image of the size,
# the simulated product powered on; peak RSS by GNU time.
echo
printf '%-6s %5s %10s %9s %5s\n' fs MiB update_ms peak_MiB exit
for size in $sizes; do
    work="$mem/cli$size"
    mkdir -p "$work"
    cp -r build/package/stage "$work/src"
    rm -f "$work/src/firmware.md5"
    head -c 4096 /dev/urandom | tr -d 'V' >"$work/src/firmware.bin"
    printf 'Ver:3-1.0.0.2\n\r' >>"$work/src/firmware.bin"
    head -c $((size * 1024 * 1024 - $(stat -c %s "$work/src/firmware.bin"))) /dev/urandom |
        tr 'V' 'v' >>"$work/src/firmware.bin"
    build/bin/tarsel-package build "$work/src" -o "$work/data.rcc" >/dev/null
    rm -rf "$work/src"
    eval "$(build/bin/tarsel-sim create "$work/sim")"
    export TARSEL_SYSFS_ROOT TARSEL_MOUNTINFO
    # Powered on once the updater waits, as a user would.
    (sleep 1 && build/bin/tarsel-sim plug "$work/sim") &
    start=$(date +%s%N)
    set +e
    /usr/bin/time -f %M -o "$work/peak" build/bin/tarsel-update --quiet --timeout 10 \
        --package "$work/data.rcc"
    code=$?
    set -e
    end=$(date +%s%N)
    # The closing animation's five seconds are not the file work's.
    wait
    printf '%-6s %5s %10s %9s %5s\n' "$memlabel" "$size" $(((end - start) / 1000000 - 6000)) \
        $(($(tail -n1 "$work/peak") / 1024)) "$code"
    rm -rf "$work"
done
echo "update_ms = tarsel-update from start to result, less the second before the product is"
echo "powered on and the closing animation's 5000 ms."
