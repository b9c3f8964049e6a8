#!/usr/bin/env bash
# End to end: the real updater under Xvfb on the product simulator, driven with real input events
# through scripts/lib/wizard.sh. One walk per outcome checks the page shown, the bytes on the
# volume and the exit code. Arguments: the build's bin folder, the sample package's firmware.
set -eEuo pipefail
bin=$1 packaged=$2
src=$(cd "$(dirname "$0")/../.." && pwd)
if ! command -v xdotool >/dev/null; then
    echo "SKIP: needs xdotool to send input events (scripts/deps.sh installs it)"
    exit 77
fi
. "$src/scripts/lib/wizard.sh"
work=$(mktemp -d /tmp/tst_wizard.XXXXXX)
readonly_volume=
cleanup() {
    if [ -n "${WIZARD_PID:-}" ]; then kill "$WIZARD_PID" 2>/dev/null || true; fi
    if [ -n "$readonly_volume" ]; then umount "$readonly_volume" || true; fi
    wizard_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
# wizard.sh runs the simulator as build/bin/tarsel-sim.
mkdir "$work/build" && ln -s "$bin" "$work/build/bin" && cd "$work"
wizard_start_xvfb
unset LC_ALL LC_MESSAGES LANGUAGE
runs=0

fail() {
    echo "FAIL $name: $*; the updater's log:" >&2
    cat "$WIZARD_LOG" >&2
    exit 1
}
sum() { { md5sum <"$1"; } 2>/dev/null || echo absent; }
trap 'fail "line $LINENO"' ERR
shown() { grep -q "tarsel.ui: shown $1.qml" "$WIZARD_LOG"; }
has() { [[ " $how " == *" $1 "* ]]; }
# The window title of a catalogue; languages without one fall back to English.
title() {
    local ts=$src/package/translations/$1.ts
    [ -f "$ts" ] || ts=$src/package/translations/en_US.ts
    sed -n '/"id-application-title"/,/<\/message>/s/.*<translation>\(.*\)<\/translation>/\1/p' "$ts"
}
# At a distance from the window's bottom-right corner, once the page has slid into place.
click() {
    sleep 0.7
    eval "$(xdotool getwindowgeometry --shell "$WIZARD_WINDOW")"
    xdotool mousemove --window "$WIZARD_WINDOW" $((WIDTH - $1)) $((HEIGHT - $2)) click 1
}
# At a finger's pace: a press within 25 ms of the last release is taken for key repeat.
press() { sleep 0.2 && wizard_key Return; }
quit() {
    if has mouse; then click 63 83; else press; fi
    for _ in $(seq 100); do kill -0 "$WIZARD_PID" 2>/dev/null && sleep 0.1; done
    wizard_wait_exit
    WIZARD_PID=
}

# walk NAME TAG LANG CODE [HOW...]: from Page 1 to the result page, then Quit. HOW: mouse,
# held-return, other-stick-first, no-file, read-only, force, too-late.
walk() {
    name=$1 how=${*:5}
    local tag=$2 lang=$3 code=$4 program=$bin/TarselUpdater args=() firmware before
    runs=$((runs + 1))
    wizard_simulate "$work/sim$runs" "$tag"
    firmware=$WIZARD_VOLUME/firmware.bin
    if has no-file; then rm "$firmware"; fi
    before=$(sum "$firmware")
    if has read-only; then
        if [ "$(id -u)" != 0 ]; then echo "SKIP $name: needs root" && return; fi
        mount --bind "$WIZARD_VOLUME" "$WIZARD_VOLUME"
        readonly_volume=$WIZARD_VOLUME
        mount -o remount,bind,ro "$WIZARD_VOLUME"
    fi
    if has force; then args=(--force-mode); fi
    # The testing build gives up the search after two seconds instead of five minutes.
    if has too-late; then program=$bin/TarselUpdater-testing; fi
    LANG=$lang.UTF-8 TARSEL_TEST_FIND_TIMEOUT_MS=2000 \
        wizard_start "$program" "$work/log$runs" "${args[@]}"
    [ "$(xdotool getwindowname "$WIZARD_WINDOW")" = "$(title "$lang")" ] || fail "window title"
    for page in Page1 Page2 Page3; do
        [ "$(wizard_wait_page $page)" = 0 ] || fail "$page"
        # The Next buttons' centres, one footer line above the bottom. Page 3 has no control:
        # Return must not reach Page 2's hidden Next.
        if has mouse; then
            click 63 53
        elif has held-return && [ $page = Page1 ]; then
            # Long enough for the server's key repeat to start and land on Page 2's Next.
            xdotool windowfocus --sync "$WIZARD_WINDOW" keydown Return sleep 1.5 keyup Return
            wizard_wait_page Page2 >/dev/null && sleep 0.3
            if shown Page3; then fail "a held key started the search"; fi
        else
            press
            # On a busy machine the window may take a press for key repeat: one more try.
            next=Page$((${page#Page} + 1))
            if [ $page != Page3 ] && ! wizard_wait_page $next 2 >/dev/null 2>&1; then press; fi
        fi
    done
    if has other-stick-first; then
        build/bin/tarsel-sim plug-other "$WIZARD_SIMULATION"
        sleep 1
        if shown Page4 || shown Page5; then fail "another stick moved the wizard"; fi
    fi
    if ! has too-late; then wizard_plug; fi
    # A successful write shows its progress for five seconds.
    [ "$(wizard_wait_page Page5 15)" = "$code" ] || fail "error code"
    if has too-late; then wizard_plug && sleep 0.5; fi
    # Page 4 is reached by a passed check, also when the write then fails.
    if [ "$code" = 0 ] || [ "$code" = 5 ]; then shown Page4; else ! shown Page4; fi || fail "Page4"
    quit
    [ "$WIZARD_EXIT" = 0 ] || fail "exit code $WIZARD_EXIT"
    if [ "$code" = 0 ]; then cmp -s "$firmware" "$packaged"; else
        [ "$(sum "$firmware")" = "$before" ]; fi || fail "the volume's firmware"
    # Any QML warning (a missing image, an unknown name) is a fault of the window.
    if grep "qrc:/qml/" "$WIZARD_LOG"; then fail "QML warnings"; fi
    if [ -n "$readonly_volume" ]; then umount "$readonly_volume" && readonly_volume=; fi
    echo "PASS $name"
}

walk "older firmware replaced, by mouse, another stick ignored, in German" \
    3-1.0.0.1 de_DE 0 mouse other-stick-first
walk "same version is up to date, Japanese falls back to English" 3-1.0.0.2 ja_JP 4
walk "other hardware refused, in French, Return held on Page 1" 7-1.0.0.1 fr_FR 3 held-return
walk "volume without firmware.bin" 3-1.0.0.1 en_US 2 no-file
walk "force mode lets other hardware through to a read-only volume" 7-1.0.0.1 en_US 5 force read-only
walk "search times out, the product on too late" 3-1.0.0.1 en_US 1 too-late

