#!/usr/bin/env bash
# The wizard on the sample package with a simulated product (firmware older than the packaged
# one). With a display it opens the window and you power the product on from this terminal;
# without one it runs under Xvfb, walks the wizard itself and saves a picture of every page.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh demo
work=$(mktemp -d /tmp/tarsel-demo.XXXXXX)
# Only what the demo runs; the build speaks only when it fails.
echo "Building the updater into build/ (log: $work/build.log)"
if ! { cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    && cmake --build build -j"$(nproc)" --target TarselUpdater tarsel-sim product_package; } \
    >"$work/build.log" 2>&1; then
    tail -n 40 "$work/build.log"
    echo "The build failed; its whole log is $work/build.log" >&2
    exit 1
fi
. scripts/lib/wizard.sh

wizard_simulate "$work/product" 3-1.0.0.1
volume=$WIZARD_VOLUME
echo "Simulated product in $WIZARD_SIMULATION (volume $volume, firmware $(wizard_firmware_tag "$volume/firmware.bin"))"

report() {
    local code=$1
    echo "Outcome: $(wizard_outcome "$code")"
    echo "Firmware now on the simulated volume: $(wizard_firmware_tag "$volume/firmware.bin")"
    [ "$code" = 0 ] && cmp -s "$volume/firmware.bin" build/package/stage/firmware.bin
}

if [ -n "${DISPLAY:-}" ] && xdotool getdisplaygeometry >/dev/null 2>&1; then
    wizard_start build/bin/TarselUpdater "$work/updater.log"
    echo "The wizard is open. Follow its pages; when the third page asks you to power the"
    echo "product on, press Enter here to do so (it runs: tarsel-sim plug $WIZARD_SIMULATION)."
    plugged=no
    while kill -0 "$WIZARD_PID" 2>/dev/null && [ $plugged = no ]; do
        if [ -t 0 ]; then
            if read -r -t 1; then
                wizard_plug
                plugged=yes
                echo "Powered on."
            fi
        elif grep -q "shown Page3.qml" "$WIZARD_LOG"; then
            # No terminal to press Enter in: power on when the page asks for it.
            wizard_plug
            plugged=yes
        else
            sleep 0.2
        fi
    done
    wizard_wait_exit
    line=$(grep -a "shown Page5.qml" "$WIZARD_LOG" || true)
    if [ -z "$line" ]; then
        echo "The wizard was closed before its result (exit code $WIZARD_EXIT)."
        exit 1
    fi
    report "${line##* }"
    exit $?
fi

trap wizard_stop_xvfb EXIT
wizard_start_xvfb
pages="$work/pages"
mkdir -p "$pages"
echo "No display: running under Xvfb ($DISPLAY); pictures of the pages go to $pages"
shot() { wizard_shot "$pages/$1"; }
wizard_start build/bin/TarselUpdater "$work/updater.log"
wizard_to_page3 shot 1-power-off.png 2-connect.png 3-launch.png
echo "Powering the simulated product on in update mode"
wizard_plug
if wizard_wait_page Page4 5 >/dev/null 2>&1; then
    sleep 1.5
    wizard_shot "$pages/4-updating.png"
fi
code=$(wizard_wait_page Page5 15)
wizard_shot "$pages/5-result.png"
wizard_key Return
wizard_wait_exit
echo "Pages saved: $(cd "$pages" && echo *.png)"
echo "The updater exited with $WIZARD_EXIT after Quit."
report "$code" && [ "$WIZARD_EXIT" = 0 ]
