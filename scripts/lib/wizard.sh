# Drives the real updater window on an X display with real input events (xdotool), following
# its pages through the "tarsel.ui" log. Sourced by demo.sh and screenshots.sh.

# wizard_start_xvfb [WIDTHxHEIGHT]: starts a private Xvfb (1280x1024 unless given) and points
# DISPLAY at it. -noreset: the server must not restart between two runs of the updater, when it
# has no client for a moment.
wizard_start_xvfb() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X${n}-lock" ] && continue
        Xvfb ":$n" -screen 0 "${1:-1280x1024}x24" -noreset -nolisten tcp >/dev/null 2>&1 &
        WIZARD_XVFB_PID=$!
        export DISPLAY=":$n"
        for _ in $(seq 50); do
            xdotool getdisplaygeometry >/dev/null 2>&1 && return 0
            kill -0 "$WIZARD_XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
    done
    echo "cannot start Xvfb" >&2
    return 1
}

wizard_stop_xvfb() {
    if [ -n "${WIZARD_XVFB_PID:-}" ]; then
        kill "$WIZARD_XVFB_PID" 2>/dev/null || true
        wait "$WIZARD_XVFB_PID" 2>/dev/null || true
    fi
}

# wizard_simulate FOLDER TAG: a fresh simulated product in FOLDER whose firmware is tagged TAG,
# or is a copy of the file TAG (a path), for the updaters started after it; sets
# WIZARD_SIMULATION and WIZARD_VOLUME.
wizard_simulate() {
    local firmware=(--tag "$2")
    if [[ $2 == /* ]]; then firmware=(--firmware "$2"); fi
    eval "$(build/bin/tarsel-sim create "$1" "${firmware[@]}")"
    export TARSEL_SYSFS_ROOT TARSEL_MOUNTINFO
    WIZARD_SIMULATION=$1
    WIZARD_VOLUME=$1/volume
}

# Powers the simulated product on in update mode.
wizard_plug() {
    build/bin/tarsel-sim plug "$WIZARD_SIMULATION"
}

# wizard_start PROGRAM LOG [ARG...]: the updater in the background, on the simulation in the
# environment (TARSEL_SYSFS_ROOT, TARSEL_MOUNTINFO); sets WIZARD_PID and WIZARD_WINDOW.
wizard_start() {
    local program=$1
    WIZARD_LOG=$2
    shift 2
    QT_LOGGING_RULES="tarsel.ui.debug=true" "$program" "$@" >"$WIZARD_LOG" 2>&1 &
    WIZARD_PID=$!
    WIZARD_WINDOW=
    for _ in $(seq 150); do
        WIZARD_WINDOW=$(xdotool search --onlyvisible --pid "$WIZARD_PID" 2>/dev/null | head -n1 || true)
        [ -n "$WIZARD_WINDOW" ] && return 0
        kill -0 "$WIZARD_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "the updater showed no window; its log:" >&2
    cat "$WIZARD_LOG" >&2
    return 1
}

# wizard_wait_page PageN [SECONDS]: until the page is shown; prints its error code.
wizard_wait_page() {
    local page=$1 seconds=${2:-10} line
    for _ in $(seq $((seconds * 10))); do
        line=$(grep -a "tarsel.ui: shown $page.qml" "$WIZARD_LOG" | head -n1 || true)
        if [ -n "$line" ]; then
            echo "${line##* }"
            return 0
        fi
        sleep 0.1
    done
    echo "$page did not appear; the updater's log:" >&2
    cat "$WIZARD_LOG" >&2
    return 1
}

# wizard_wait_settled [PageN] [SECONDS]: until the page shown last (PageN, when given) takes
# input, once it has slid into place; a key or click before that is lost.
wizard_wait_settled() {
    local page=${1:-Page} seconds=${2:-10} last
    for _ in $(seq $((seconds * 10))); do
        last=$(grep -a -E "tarsel.ui: (shown|settled) " "$WIZARD_LOG" | tail -n1 || true)
        [[ $last == *"tarsel.ui: settled $page"* ]] && return 0
        sleep 0.1
    done
    echo "$page did not settle; the updater's log:" >&2
    cat "$WIZARD_LOG" >&2
    return 1
}

wizard_key() {
    wizard_wait_settled
    xdotool windowfocus --sync "$WIZARD_WINDOW"
    xdotool key "$1"
}

# wizard_to_page3 [SHOT PICTURE1 PICTURE2 PICTURE3]: from the first page on to the one that asks
# for the product, pressing Enter on each; with SHOT, runs "SHOT PICTUREn" on page n first.
wizard_to_page3() {
    local shot=${1:-} page
    for page in 1 2 3; do
        wizard_wait_page "Page$page" >/dev/null
        if [ -n "$shot" ]; then "$shot" "${@:page+1:1}"; fi
        if [ "$page" -lt 3 ]; then wizard_key Return; fi
    done
}

# wizard_shot FILE [IMPORT-OPTION...]: the window as it is, once the page has slid into place.
wizard_shot() {
    local file=$1
    shift
    sleep 0.8
    import -window "$WIZARD_WINDOW" "$@" "$file"
}

# Waits for the updater to end; sets WIZARD_EXIT to its exit code.
wizard_wait_exit() {
    WIZARD_EXIT=0
    wait "$WIZARD_PID" || WIZARD_EXIT=$?
}

wizard_outcome() {
    case "$1" in
    0) echo "success: the firmware was updated" ;;
    1) echo "the product was not found" ;;
    2) echo "the firmware could not be checked" ;;
    3) echo "other hardware: refused" ;;
    4) echo "the firmware is already up to date" ;;
    5) echo "the firmware could not be written" ;;
    *) echo "unknown outcome $1" ;;
    esac
}

# The version tag of a firmware file, such as "Ver:3-1.0.0.2".
wizard_firmware_tag() {
    grep -a -o -m1 -E 'Ver:[^-[:space:]]+-[0-9.]+' "$1" 2>/dev/null | head -n1 || echo "none"
}
