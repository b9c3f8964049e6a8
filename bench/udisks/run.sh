#!/usr/bin/env bash
# Times the product's detection through UDisks2 against a real system bus, udevd and udisksd on
# loop devices (bench/udisks/udiskslatency.cpp). Needs root. Starts whichever of the three is not
# running and stops, by pid, what it started.
#   bench/udisks/run.sh [ROUNDS]   (default 5)
set -euo pipefail
cd "$(dirname "$0")/../.."
bench=build/bench/udisks/tarsel-bench-udisks
cmake --build build --target tarsel-bench-udisks >/dev/null

started=()
removeUdev=
removeSocket=
stop() {
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    [ -z "$removeUdev" ] || rm -rf /run/udev
    [ -z "$removeSocket" ] || rm -f "$removeSocket"
}
trap stop EXIT

busAnswers() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetId >/dev/null 2>&1
}
waitFor() {
    for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done
    return 1
}

busPid=
if ! busAnswers; then
    removeSocket=/run/dbus/system_bus_socket
    rm -f "$removeSocket"
    mkdir -p /run/dbus
    dbus-daemon --system --nofork --nopidfile 2>/dev/null &
    busPid=$!
    started=($! "${started[@]}")
    waitFor busAnswers
fi
if [ ! -e /run/udev/control ]; then
    [ -e /run/udev ] || removeUdev=1
    /lib/systemd/systemd-udevd 2>/dev/null &
    started=($! "${started[@]}")
    waitFor test -e /run/udev/control
    udevadm trigger --action=add --subsystem-match=block
    udevadm settle
fi
udisksOwned() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.UDisks2 | grep -q 'boolean true'
}
if ! udisksOwned; then
    /usr/libexec/udisks2/udisksd --no-debug >/dev/null 2>&1 &
    started=($! "${started[@]}")
    waitFor udisksOwned
fi
"$bench" "${1:-5}"

# A stalled system bus (stopped, as a hung daemon is) must not hold tarsel-update past its
# --timeout; only with a bus of our own, which we may stop.
if [ -n "$busPid" ]; then
    cmake --build build --target tarsel-update product_package >/dev/null
    kill -STOP "$busPid"
    times=()
    for _ in $(seq "${1:-5}"); do
        start=$(date +%s%N)
        rc=0
        timeout 60 build/bin/tarsel-update --timeout 2 --quiet >/dev/null 2>&1 || rc=$?
        times+=("$(( ($(date +%s%N) - start) / 1000000 )) $rc")
    done
    kill -CONT "$busPid"
    printf '%s\n' "${times[@]}" | sort -n | awk '{ms[NR] = $1; rc[NR] = $2}
        END {printf "stalled bus: tarsel-update --timeout 2 ended in median %d ms (min %d, max %d; exit %s; before: blocked until killed)\n",
            ms[int((NR + 1) / 2)], ms[1], ms[NR], rc[1]}'
fi
