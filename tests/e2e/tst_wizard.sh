#!/usr/bin/env bash
# One walk per outcome through the real updater (scripts/lib/wizard.sh), checking the page shown,
# the bytes on the volume and the exit code. Arguments: the bin folder, the packed firmware.
set -eEuo pipefail
bin=$1 packaged=$2 src=$(cd "$(dirname "$0")/../.." && pwd) name=start readonly_volume= runs=0
command -v xdotool >/dev/null || { echo "SKIP: needs xdotool (scripts/deps.sh)" && exit 77; }
/usr/bin/python3 -c "import pyatspi" 2>/dev/null && [ -x /usr/libexec/at-spi-bus-launcher ] \
    || { echo "SKIP: needs python3-pyatspi and at-spi2-core (scripts/deps.sh)" && exit 77; }
. "$src/scripts/lib/wizard.sh"
work=$(mktemp -d /tmp/tst_wizard.XXXXXX)
cleanup() {
    if [ -n "${WIZARD_PID:-}" ]; then kill "$WIZARD_PID" 2>/dev/null || true; fi
    stop_screen_reader_bus
    stop window_manager
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
wizard_start_xvfb && screen=1280x1024
unset LC_ALL LC_MESSAGES LANGUAGE
export XDG_STATE_HOME=$work/state # the updater's run logs
logs=$XDG_STATE_HOME/TarselUpdater/logs && mkdir -p "$logs"
for n in 10 11 12 13 14 15 16 17 18; do touch "$logs/TarselUpdater-20200101-000000-0$n.log"; done

# wait_for MESSAGE COMMAND...: until COMMAND succeeds, for ten seconds; then fails with MESSAGE.
wait_for() {
    for _ in $(seq 100); do "${@:2}" 2>/dev/null && return; sleep 0.1; done
    fail "$1"
}
# stop VAR...: ends the processes whose pids the variables hold.
stop() {
    local var
    for var; do
        if [ -n "${!var:-}" ]; then kill "${!var}" 2>/dev/null || true; fi
        printf -v "$var" ''
    done
}
# A session bus and the accessibility bus beside it, as a desktop runs them for a screen reader.
start_screen_reader_bus() {
    mkdir -p -m 700 "$work/run" && export XDG_RUNTIME_DIR=$work/run
    dbus-daemon --session --nofork --print-address=3 3>"$work/session-bus" 2>/dev/null &
    session_bus=$!
    wait_for "no session bus" test -s "$work/session-bus"
    export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$work/session-bus")
    /usr/libexec/at-spi-bus-launcher --launch-immediately 2>/dev/null &
    bus_launcher=$!
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    # An application that starts before the launcher owns its name stays silent for good.
    wait_for "no accessibility bus" sh -c "dbus-send --session --print-reply \
        --dest=org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
        string:org.a11y.Bus | grep -q 'boolean true'"
}
# The launcher's bus starts the registry, which outlives them both unless stopped by its pid.
stop_screen_reader_bus() {
    local bus registry
    if [ -n "${bus_launcher:-}" ]; then
        bus=$(pgrep -P "$bus_launcher" || true)
        registry=$(for b in $bus; do pgrep -P "$b"; done || true)
        kill $registry 2>/dev/null || true
    fi
    stop bus_launcher session_bus
    unset QT_LINUX_ACCESSIBILITY_ALWAYS_ON DBUS_SESSION_BUS_ADDRESS
}
# A screen reader's focus listener (tests/e2e/atspi_focus.py), writing to $work/focusN.
start_focus_listener() {
    /usr/bin/python3 "$src/tests/e2e/atspi_focus.py" >"$work/focus$runs" 2>&1 &
    focus_listener=$!
    wait_for "the focus listener did not register" grep -q listening "$work/focus$runs"
}
# As every desktop runs one: with it, focus and key delivery differ.
start_window_manager() {
    [ -n "${window_manager:-}" ] && return
    openbox --sm-disable >/dev/null 2>&1 &
    window_manager=$!
    wait_for "openbox did not start" sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"
}
# display GEOMETRY: an X server of that size, restarted when the last one differs.
display() {
    [ "$1" = "$screen" ] && return
    stop window_manager && wizard_stop_xvfb && wizard_start_xvfb "$1" && screen=$1
}

# reads PATTERN...: fails unless each pattern matches one of the objects a screen reader finds
# (tests/e2e/atspi_names.py), "%1" standing for any text.
# Asks again for a few seconds: under load the tree can lag behind the page's settled line.
reads() {
    local objects line pattern missing
    for _ in $(seq 8); do
        objects=$(timeout 20 /usr/bin/python3 "$src/tests/e2e/atspi_names.py" TarselUpdater)
        missing=
        for pattern; do
            while IFS= read -r line; do [[ $line == ${pattern//%1/*} ]] && continue 2; done \
                <<<"$objects"
            missing=$pattern
        done
        [ -z "$missing" ] && return
        sleep 0.3
    done
    fail "a screen reader finds no \"$missing\" in: $objects"
}

sum() { { md5sum <"$1"; } 2>/dev/null || echo absent; }
shown() { grep -q "tarsel.ui: shown $1.qml" "$WIZARD_LOG"; }
has() { [[ " $how " == *" $1 "* ]]; }
# value NAME: the VALUE of the walk's NAME-VALUE, or nothing.
value() { [[ " $how " =~ \ $1-([^ ]*) ]] && echo "${BASH_REMATCH[1]}" || true; }
# click PAGE X Y [SECONDS [TIMES]]: at a distance from the window's bottom-right corner once the
# page has settled; with SECONDS, TIMES clicks (two unless given) that far apart.
click() {
    local more=() i
    for ((i = 1; i < ${5:-2}; i++)); do more+=(sleep "${4:-0}" click 1); done
    wizard_wait_settled "$1"
    eval "$(xdotool getwindowgeometry --shell "$WIZARD_WINDOW")"
    xdotool mousemove --window "$WIZARD_WINDOW" $((WIDTH - $2)) $((HEIGHT - $3)) click 1 \
        ${4:+"${more[@]}"}
}
press() { wizard_wait_settled "$1" && wizard_key Return; }

# walk NAME TAG LANG CODE [mouse|held-KEY|double-click-SECONDS|triple-click-SECONDS|no-file|
#                          read-only|force|too-late|no-gl|screen-reader|focus-listener|wm|
#                          display-WIDTHxHEIGHT|scale-150...]
walk() {
    name=$1 how=${*:5}
    local tag=$2 lang=$3 code=$4 program=$bin/TarselUpdater args=() firmware before title
    local held double triple geometry
    held=$(value held) double=$(value double-click) triple=$(value triple-click)
    geometry=$(value display) && display "${geometry:-1280x1024}"
    # Qt takes 144 dpi for a scale of 1.5 and rounds it to 2.
    if has scale-150; then xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	144"
    else xprop -root -remove RESOURCE_MANAGER; fi
    if has wm; then start_window_manager; else stop window_manager; fi
    # Remote X without indirect GLX: the server claims OpenGL, but no context can be created.
    if has no-gl; then export LIBGL_ALWAYS_INDIRECT=1; else unset LIBGL_ALWAYS_INDIRECT; fi
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
    if has screen-reader || has focus-listener; then start_screen_reader_bus; fi
    if has focus-listener; then start_focus_listener; fi
    LANG=$lang.UTF-8 TARSEL_TEST_FIND_TIMEOUT_MS=2000 \
        wizard_start "$program" "$work/log$runs" "${args[@]}"
    # The title from the language's catalogue, or from English.
    local ts=$src/package/translations/$lang.ts && [ -f "$ts" ] || ts=${ts%/*}/en_US.ts
    text() { sed -n "/\"$1\"/,/message>/s/.*<translation>\(.*\)<.*/\1/p" "$ts"; }
    [ "$(xdotool getwindowname "$WIZARD_WINDOW")" = "$(text id-application-title)" ] ||
        fail "window title"
    if [[ $how == *display-* ]]; then
        # The window and its frame on the screen, also where the pages are taller than it.
        local frame left right top bottom x y width height
        wizard_wait_settled Page1 && sleep 1
        frame=$(xprop -id "$WIZARD_WINDOW" _NET_FRAME_EXTENTS | grep -o '[0-9, ]*$' | tr -d ' ')
        IFS=, read -r left right top bottom <<<"${frame:-0,0,0,0}"
        # xwininfo, not xdotool, which counts a window manager's frame twice.
        read -r x y width height < <(xwininfo -id "$WIZARD_WINDOW" | awk '/Absolute upper-left/ \
            { p = p $NF " " } /^ *(Width|Height):/ { p = p $NF " " } END { print p }')
        ((x - left >= 0 && y - top >= 0 && x + width + right <= ${screen%x*} &&
            y + height + bottom <= ${screen#*x})) ||
            fail "window and frame reach $((x + width + right))x$((y + height + bottom)) on $screen"
    fi
    for page in 1 2 3; do
        [ "$(wizard_wait_page Page$page)" = 0 ] || fail "Page$page"
        # The Next buttons' centres; Return on Page 3 must not reach Page 2's hidden Next.
        if [ -n "$held" ] && [ $page = 1 ]; then
            # Long enough for the server's key repeat to start and land on Page 2's Next.
            wizard_wait_settled Page1
            xdotool windowfocus --sync "$WIZARD_WINDOW" keydown "$held" sleep 1.5 keyup "$held"
            wizard_wait_settled Page2 && sleep 0.3
            grep -q "tarsel.ui: key repeat" "$WIZARD_LOG" || fail "the held key did not repeat"
            if shown Page3; then fail "a held key started the search"; fi
        elif [ -n "$double$triple" ] && [ $page = 1 ]; then
            # Page 2's Back and Next slide in under the pointer; a triple click's last lands
            # after Page 2 has settled.
            click Page1 63 53 "$double$triple" $((${triple:+1} + 2)) && wizard_wait_settled Page2
            sleep 0.5
            [ "$(grep -c "tarsel.ui: shown" "$WIZARD_LOG")" = 2 ] || fail "a multi-click went on"
        elif has mouse; then
            click Page$page 63 53
        else
            press Page$page
        fi
    done
    if has screen-reader; then reads "animation|$(text id-page3-searching)||"; fi
    if ! has too-late; then wizard_plug; fi
    if has screen-reader; then
        # Page 4 stays for five seconds.
        wizard_wait_page Page4 >/dev/null
        reads "progress bar|$(text id-page4-progress-value)||" "image|$(text id-page4-image)||"
    fi
    # A successful write shows its progress for five seconds.
    [ "$(wizard_wait_page Page5 15)" = "$code" ] || fail "error code"
    if has too-late; then wizard_plug && sleep 0.5; fi
    # Page 4 is reached by a passed check, also when the write then fails.
    if [ "$code" = 0 ] || [ "$code" = 5 ]; then shown Page4; else ! shown Page4; fi || fail "Page4"
    if has screen-reader; then
        wizard_wait_settled Page5
        # The result is read with the button that takes the focus.
        reads "image|$(text id-page5-image-success)||" \
            "push button|$(text id-page5-quit)|$(text id-page5-title-successful)%1|focused"
    fi
    if has mouse; then click Page5 63 83; else press Page5; fi
    timeout 10 tail --pid="$WIZARD_PID" -f /dev/null && wizard_wait_exit && WIZARD_PID=
    [ "$WIZARD_EXIT" = 0 ] || fail "exit code $WIZARD_EXIT"
    if [ "$code" = 0 ]; then cmp -s "$firmware" "$packaged"; else
        [ "$(sum "$firmware")" = "$before" ]; fi || fail "the volume's firmware"
    # Each run's log ends in its outcome; a failure's detail line names the system's reason.
    local names=(success FindDeviceError CheckFirmwareError FirmwareBad_HWError
        FirmwareSame_FWError UpdateFirmwareError) runlog
    runlog=$(ls -t "$XDG_STATE_HOME"/TarselUpdater/logs/*.log | head -n1)
    grep -q "outcome: ${names[code]}" "$runlog" || fail "run log $runlog"
    if has read-only; then
        grep -q "tarsel.ui: details .*: Read-only file system" "$WIZARD_LOG" || fail "page 5 details"
        grep -q "details: .*: Read-only file system" "$runlog" || fail "run log details"
    fi
    if has no-file; then grep -q "tarsel.ui: details .*--recover" "$WIZARD_LOG" || fail "hint"; fi
    # Any QML warning (a missing image, an unknown name) is a fault of the window.
    if grep "qrc:/qml/" "$WIZARD_LOG"; then fail "QML warnings"; fi
    if has no-gl; then grep -q "software renderer" "$WIZARD_LOG" || fail "no renderer warning"; fi
    # Each page's title, and with it its description, is read as the page takes the focus.
    if has focus-listener; then
        local focus=$work/focus$runs piece
        for id in id-page{1,2,3,4}-title id-page5-title-successful; do
            title=$(text $id) && piece=${title%%%1*} && piece=${piece:-${title#*%1}}
            grep -q -F "$piece" "$focus" || fail "no focus announces \"$title\": $(cat "$focus")"
        done
        stop focus_listener
    fi
    stop_screen_reader_bus
}

walk "older firmware replaced, by mouse, in German, without OpenGL, read by a screen reader" \
    3-1.0.0.1 de_DE 0 mouse no-gl screen-reader
walk "the packaged firmware is up to date, Japanese falls back to English, Space held on Page 1" \
    "$packaged" ja_JP 4 held-space
walk "other hardware refused, in French, Return held on Page 1" 7-1.0.0.1 fr_FR 3 held-Return
walk "volume without firmware.bin, a double click on Page 1" 3-1.0.0.1 en_US 2 no-file \
    double-click-0.15
walk "force mode lets other hardware through to a read-only volume, a slow double click" \
    7-1.0.0.1 en_US 5 force read-only double-click-0.3
walk "search times out, the product on too late" 3-1.0.0.1 en_US 1 too-late
# The newest ten logs are kept: every run's, and the newest of the nine older ones.
new_logs=$(ls "$logs" | grep -vc 2020)
[ "$(ls "$logs" | grep -c .)" = 10 ] &&
    [ "$(ls "$logs" | head -n1)" = "TarselUpdater-20200101-000000-0$((9 + new_logs)).log" ] ||
    fail "old logs pruned: $(ls "$logs")"

# Keyboard only, as users of a screen reader go, with a window manager as every desktop has.
walk "keyboard only in German on a 1024x600 screen, a window manager, a screen reader's focus" \
    3-1.0.0.1 de_DE 0 display-1024x600 wm focus-listener
walk "keyboard only at 150 % on a 1920x1080 screen, a window manager, a screen reader's focus" \
    3-1.0.0.1 fr_FR 0 display-1920x1080 scale-150 wm focus-listener held-Return
walk "up to date, a triple click on Page 1" "$packaged" en_US 4 triple-click-0.23
