#!/usr/bin/env bash
# A package the updater cannot use ends start-up with exit code 1 and two lines saying why.
set -euo pipefail
updater=$1 stage=$2 rcc=$3
work=$(mktemp -d /tmp/tst_startup.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Without a runtime folder the platform plugin adds a line of its own to the log.
export XDG_RUNTIME_DIR=$work QT_QPA_PLATFORM=offscreen
unset QT_MESSAGE_PATTERN QT_LOGGING_RULES

# start NAME MAKE-PACKAGE FIRST-LINE: the updater installed in $work/NAME beside that package.
start() {
    local dir=$work/$1 code=0
    mkdir "$dir" && cp "$updater" "$dir/TarselUpdater"
    (cd "$dir" && eval "$2")
    "$dir/TarselUpdater" 2>"$dir.log" || code=$?
    [ "$code" = 1 ] && [ "$(cat "$dir.log")" = "$3"$'\nCan not initialize external resources.' ] ||
        { echo "FAIL $1: exit code $code, log:" && cat "$dir.log" && exit 1; }
}
# Without one file; the others present, so that the first file missing is the one taken out.
without() {
    mkdir files && cp "$stage/firmware.bin" "$stage/device.xml" files/
    echo x >files/firmware.md5 && echo x >files/en_US.qm && rm "files/$1"
    echo "<RCC><qresource>$(cd files && for f in *; do echo "<file alias=\"$f\">files/$f</file>"; done)
        </qresource></RCC>" >p.qrc
    "$rcc" --binary p.qrc -o data.rcc
}

start "no package" true "File \"$work/no package/data.rcc\" does not exist"
start "empty file" "touch data.rcc" "Could not register \"$work/empty file/data.rcc\" file"
for file in firmware.bin firmware.md5 device.xml; do
    start "without $file" "without $file" "File \":/tarsel_external/$file\" does not exist"
done
# Each spelling of help and version answers before a display or the package is needed, and a
# full disk is no success.
for option in --version -v --help -h --help-all; do
    out=$(env -u DISPLAY -u QT_QPA_PLATFORM "$updater" $option) &&
        [[ $out == "TarselUpdater 1.2.24" || $out == *--force-mode* ]] &&
        ! env -u DISPLAY -u QT_QPA_PLATFORM "$updater" $option >/dev/full 2>/dev/null ||
        { echo "FAIL $option (or its exit code 0 into a full disk): $out" && exit 1; }
done
