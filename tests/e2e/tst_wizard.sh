#!/usr/bin/env bash
# One walk per outcome through the real updater (scripts/lib/wizard.sh), checking the page shown,
# the bytes on the volume and the exit code. Arguments: the bin folder, the packed firmware.
set -eEuo pipefail
bin=$1 packaged=$2 src=$(cd "$(dirname "$0")/../.." && pwd) name=start readonly_volume= runs=0
command -v xdotool >/dev/null || { echo "SKIP: needs xdotool (scripts/deps.sh)" && exit 77; }
. "$src/scripts/lib/wizard.sh"
work=$(mktemp -d /tmp/tst_wizard.XXXXXX)
cleanup() {
    if [ -n "${WIZARD_PID:-}" ]; then kill "$WIZARD_PID" 2>/dev/null || true; fi
    if [ -n "$readonly_volume" ]; then umount "$readonly_volume" || true; fi
    wizard_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL $name: $*; the updater's log:" >&2
    cat "${WIZARD_LOG:-/dev/null}" >&2
    exit 1
}
trap 'fail "line $LINENO"' ERR
# wizard.sh runs the simulator as build/bin/tarsel-sim.
mkdir "$work/build" && ln -s "$bin" "$work/build/bin" && cd "$work"
wizard_start_xvfb
unset LC_ALL LC_MESSAGES LANGUAGE

sum() { { md5sum <"$1"; } 2>/dev/null || echo absent; }
shown() { grep -q "tarsel.ui: shown $1.qml" "$WIZARD_LOG"; }
has() { [[ " $how " == *" $1 "* ]]; }
# At a distance from the window's bottom-right corner, once the page has slid into place.
click() {
    sleep 0.7
    eval "$(xdotool getwindowgeometry --shell "$WIZARD_WINDOW")"
    xdotool mousemove --window "$WIZARD_WINDOW" $((WIDTH - $1)) $((HEIGHT - $2)) click 1
}
# At a finger's pace: a press within 25 ms of the last release is taken for key repeat.
press() { sleep 0.2 && wizard_key Return; }

# walk NAME TAG LANG CODE [mouse|held-return|no-file|read-only|force|too-late...]
walk() {
    name=$1 how=${*:5}
    local tag=$2 lang=$3 code=$4 program=$bin/TarselUpdater args=() firmware before title
    wizard_simulate "$work/sim$((++runs))" "$tag"
    firmware=$WIZARD_VOLUME/firmware.bin
    if has no-file; then rm "$firmware"; fi
    before=$(sum "$firmware")
    if has read-only; then
        if [ "$(id -u)" != 0 ]; then echo "SKIP $name: needs root" && return; fi
        mount --bind "$WIZARD_VOLUME" "$WIZARD_VOLUME" && readonly_volume=$WIZARD_VOLUME
        mount -o remount,bind,ro "$WIZARD_VOLUME"
    fi
    if has force; then args=(--force-mode); fi
    if has too-late; then program=$bin/TarselUpdater-testing; fi
    LANG=$lang.UTF-8 TARSEL_TEST_FIND_TIMEOUT_MS=2000 \
        wizard_start "$program" "$work/log$runs" "${args[@]}"
    # The title from the language's catalogue, or from English.
    local ts=$src/package/translations/$lang.ts && [ -f "$ts" ] || ts=${ts%/*}/en_US.ts
    title=$(sed -n '/id-application-title/,/message>/s/.*<translation>\(.*\)<.*/\1/p' "$ts")
    [ "$(xdotool getwindowname "$WIZARD_WINDOW")" = "$title" ] || fail "window title"
    for page in 1 2 3; do
        [ "$(wizard_wait_page Page$page)" = 0 ] || fail "Page$page"
        # The Next buttons' centres; Return on Page 3 must not reach Page 2's hidden Next.
        if has mouse; then
            click 63 53
        elif has held-return && [ $page = 1 ]; then
            # Long enough for the server's key repeat to start and land on Page 2's Next.
            xdotool windowfocus --sync "$WIZARD_WINDOW" keydown Return sleep 1.5 keyup Return
            wizard_wait_page Page2 >/dev/null && sleep 0.3
            if shown Page3; then fail "a held key started the search"; fi
        else
            # A busy window may take a press for key repeat or lose it: up to two more tries. A
            # press too many lands on Page 3, which ignores it.
            press
            for _ in 1 2; do
                [ $page = 3 ] || wizard_wait_page Page$((page + 1)) 3 >/dev/null 2>&1 || press
            done
        fi
    done
    if ! has too-late; then wizard_plug; fi
    # A successful write shows its progress for five seconds.
    [ "$(wizard_wait_page Page5 15)" = "$code" ] || fail "error code"
    if has too-late; then wizard_plug && sleep 0.5; fi
    # Page 4 is reached by a passed check, also when the write then fails.
    if [ "$code" = 0 ] || [ "$code" = 5 ]; then shown Page4; else ! shown Page4; fi || fail "Page4"
    if has mouse; then click 63 83; else press; fi
    timeout 10 tail --pid="$WIZARD_PID" -f /dev/null && wizard_wait_exit && WIZARD_PID=
    [ "$WIZARD_EXIT" = 0 ] || fail "exit code $WIZARD_EXIT"
    if [ "$code" = 0 ]; then cmp -s "$firmware" "$packaged"; else
        [ "$(sum "$firmware")" = "$before" ]; fi || fail "the volume's firmware"
    # Any QML warning (a missing image, an unknown name) is a fault of the window.
    if grep "qrc:/qml/" "$WIZARD_LOG"; then fail "QML warnings"; fi
}

walk "older firmware replaced, by mouse, in German" 3-1.0.0.1 de_DE 0 mouse
walk "same version is up to date, Japanese falls back to English" 3-1.0.0.2 ja_JP 4
walk "other hardware refused, in French, Return held on Page 1" 7-1.0.0.1 fr_FR 3 held-return
walk "volume without firmware.bin" 3-1.0.0.1 en_US 2 no-file
walk "force mode lets other hardware through to a read-only volume" 7-1.0.0.1 en_US 5 force read-only
walk "search times out, the product on too late" 3-1.0.0.1 en_US 1 too-late
