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

if ! busAnswers; then
    removeSocket=/run/dbus/system_bus_socket
    rm -f "$removeSocket"
    mkdir -p /run/dbus
    dbus-daemon --system --nofork --nopidfile 2>/dev/null &
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
