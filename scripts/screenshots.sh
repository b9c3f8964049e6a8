#!/usr/bin/env bash
# Regenerates docs/screenshots/ from the real updater under Xvfb on the product simulator: every
# page of an update, the result page for each outcome, and the first page in German and French.
# The read-only volume needs root (a read-only bind mount); without it that picture is kept.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh >/dev/null
. scripts/lib/wizard.sh

out=docs/screenshots
mkdir -p "$out"
work=$(mktemp -d /tmp/tarsel-screenshots.XXXXXX)
cleanup() {
    wizard_stop_xvfb
    if [ -n "${readonly_volume:-}" ]; then umount "$readonly_volume" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
wizard_start_xvfb
unset LC_ALL LC_MESSAGES LANGUAGE
export LANG=en_US.UTF-8
runs=0

# simulate TAG: a fresh simulated product, in a folder of its own for each run.
simulate() {
    runs=$((runs + 1))
    wizard_simulate "$work/product$runs" "$1"
}

shot() {
    # 8-bit and without the time stamps that would change every picture on every run.
    wizard_shot "$out/$1" -depth 8 -strip -define png:exclude-chunks=date,time
    echo "  $out/$1"
}

# to_page3 PROGRAM [SHOT PICTURE...]: starts the updater and goes on to the page that asks for
# the product, as wizard_to_page3.
to_page3() {
    wizard_start "$1" "$work/updater$runs.log"
    shift
    wizard_to_page3 "$@"
}

quit() {
    wizard_key Return
    wizard_wait_exit
}

# result NAME TAG EXPECTED-CODE [prepare]: one run to the result page.
result() {
    local name=$1 tag=$2 expected=$3 prepare=${4:-}
    simulate "$tag"
    [ -n "$prepare" ] && "$prepare"
    to_page3 build/bin/TarselUpdater
    wizard_plug
    local code
    code=$(wizard_wait_page Page5 20)
    if [ "$code" != "$expected" ]; then
        echo "$name: expected error code $expected, got $code" >&2
        exit 1
    fi
    shot "$name"
    quit
}

echo "An update, page by page"
simulate 3-1.0.0.1
to_page3 build/bin/TarselUpdater shot page1-power-off.png page2-connect.png page3-launch.png
wizard_plug
wizard_wait_page Page4 >/dev/null
sleep 2
shot page4-updating.png
wizard_wait_page Page5 15 >/dev/null
shot page5-success.png
quit

echo "The result page for each other outcome"
# The volume holds the packaged firmware itself: a copy of its version with other bytes is rewritten.
result page5-up-to-date.png "$PWD/build/package/stage/firmware.bin" 4
result page5-other-hardware.png 7-1.0.0.1 3
remove_firmware() { rm "$WIZARD_VOLUME/firmware.bin"; }
result page5-check-error.png 3-1.0.0.1 2 remove_firmware
if [ "$(id -u)" = 0 ]; then
    mount_read_only() {
        mount --bind "$WIZARD_VOLUME" "$WIZARD_VOLUME"
        readonly_volume=$WIZARD_VOLUME
        mount -o remount,bind,ro "$WIZARD_VOLUME"
    }
    result page5-update-error.png 3-1.0.0.1 5 mount_read_only
    umount "$readonly_volume"
    readonly_volume=
else
    echo "  not root: page5-update-error.png kept as it was"
fi

# The testing build gives up the search after a second instead of five minutes.
simulate 3-1.0.0.1
TARSEL_TEST_FIND_TIMEOUT_MS=1000 to_page3 build/bin/TarselUpdater-testing
[ "$(wizard_wait_page Page5 10)" = 1 ]
shot page5-not-found.png
quit

echo "The first page in other languages"
for lang in de_DE fr_FR; do
    simulate 3-1.0.0.1
    LANG=$lang.UTF-8 wizard_start build/bin/TarselUpdater "$work/updater$runs.log"
    wizard_wait_page Page1 >/dev/null
    shot "page1-$lang.png"
    kill "$WIZARD_PID"
    wizard_wait_exit
done
