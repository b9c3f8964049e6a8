#!/usr/bin/env bash
# The Windows release as a user meets it, on Wine under Xvfb, in a prefix of its own that holds
# nothing of the kit: the zip's programs start from its folder alone, the MSI installs, upgrades
# in place and uninstalls. Arguments: the release folder, the project's source folder, the folder
# for the pictures of pages 1 and 3 (optional). Exit 77: skipped.
set -eEuo pipefail
release=$1 src=$2 shots=${3:-}
for t in wine xdotool import unzip msiinfo wixl; do
    command -v "$t" >/dev/null || { echo "SKIP: needs $t (scripts/deps.sh)"; exit 77; }
done
zip=$(ls "$release"/*.zip) msi=$(ls "$release"/*.msi)
name=$(basename "$zip" .zip)
. "$src/scripts/lib/wizard.sh" # its private Xvfb
work=$(mktemp -d /tmp/tst_windowsrelease.XXXXXX)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
unset WINEPATH QT_PLUGIN_PATH QML2_IMPORT_PATH
cleanup() {
    wineserver -k 2>/dev/null || true
    wizard_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
step=start
fail() {
    echo "FAIL $step: $*" >&2
    exit 1
}
trap 'fail "line $LINENO"' ERR
wizard_start_xvfb
wineboot -i >/dev/null 2>&1
unzip -q "$zip" -d "$work"
app=$work/$name

step="tarsel-update"
out=$(wine "$app/tarsel-update.exe" --version | tr -d '\r')
[ "$out" = "tarsel-update $(cut -d_ -f2 <<<"$name" | cut -d+ -f1)" ] || fail "--version said \"$out\""
wine "$app/tarsel-update.exe" --help | grep -q "^  11   the product was not found in time" || fail "--help"
code=0
out=$(wine "$app/tarsel-update.exe" --json --timeout 1 | tr -d '\r') || code=$?
[ "$code" = 11 ] || fail "--json --timeout 1 ended with $code: $out"
last=$(tail -n1 <<<"$out")
[[ $last == '{"event":"result",'*'"exitCode":11,"outcome":"not-found"'*'}' ]] || fail "no result line: $out"
logs=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/corvel/TarselUpdater/logs
compgen -G "$logs/tarsel-update-*.log" >/dev/null || fail "no run log under %LOCALAPPDATA%"
# Wine hands a console program's SIGINT to its console handler as Ctrl+C.
wine "$app/tarsel-update.exe" --json --timeout 60 >"$work/interrupted" &
update=$!
for _ in $(seq 100); do grep -q '"event":"waiting"' "$work/interrupted" && break; sleep 0.1; done
kill -INT "$update"
code=0
wait "$update" || code=$?
[ "$code" = 130 ] && grep -q '"outcome":"interrupted"' "$work/interrupted" \
    || fail "Ctrl+C while waiting ended with $code: $(cat "$work/interrupted")"

# A window program's start-up lines go to the debugger channel, which Wine prints among its
# exception warnings.
step="no data.rcc"
mkdir "$work/broken" && cp -r "$app"/* "$work/broken/" && rm "$work/broken/data.rcc"
code=0
WINEDEBUG=warn+seh wine "$work/broken/TarselUpdater.exe" >/dev/null 2>"$work/broken.err" || code=$?
[ "$code" = 1 ] || fail "exit code $code"
lines=$(sed -n 's/.*:OutputDebugStringA "\(.*\)\\n"$/\1/p' "$work/broken.err")
expected=$(printf 'File \\"Z:%s/broken/data.rcc\\" does not exist\nCan not initialize external resources.' "$work")
[ "$lines" = "$expected" ] || fail "start-up lines: $lines"
# tarsel-update's runs above left theirs.
left=$(ls "$logs" | grep -v '^tarsel-update-' || true)
[ -z "$left" ] || fail "a failed start left a run log: $left"

# Qt's debug lines do not reach the run log here, so the pages are told apart by their pictures:
# each key press must bring another page, and another language other words.
start_wizard() { # LANGUAGE
    LANG=$1.UTF-8 WINEDEBUG=+loaddll wine "$app/TarselUpdater.exe" >/dev/null 2>"$work/loaded-$1" &
    WIZARD_PID=$!
    WIZARD_WINDOW=
    for _ in $(seq 600); do
        WIZARD_WINDOW=$(xdotool search --onlyvisible --pid "$WIZARD_PID" 2>/dev/null | head -n1 || true)
        [ -n "$WIZARD_WINDOW" ] && return 0
        sleep 0.1
    done
    fail "no window"
}
# settled_shot FILE: the window once two pictures half a second apart agree (a page slides in).
settled_shot() {
    local previous=$work/previous.png
    for _ in $(seq 60); do
        sleep 0.5
        import -window "$WIZARD_WINDOW" "$1"
        cmp -s "$1" "$previous" && return 0
        cp "$1" "$previous"
    done
    fail "the window never settled"
}
press() {
    xdotool windowfocus --sync "$WIZARD_WINDOW"
    xdotool key "$1"
}
stop_wizard() {
    kill "$WIZARD_PID" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    wait "$WIZARD_PID" 2>/dev/null || true
}
step="wizard (en_US)"
start_wizard en_US
settled_shot "$work/page1-en_US.png"
# Every DLL shipped is one the program loads.
for dll in $(cd "$app" && find . -name '*.dll'); do
    grep -qi "Loaded L\".*$(basename "$dll")\"" "$work/loaded-en_US" || fail "$dll is shipped, never loaded"
done
press Return
settled_shot "$work/page2-en_US.png"
press Return
# Page 3 never settles: its busy indicator turns while it waits for the product.
sleep 3
import -window "$WIZARD_WINDOW" "$work/page3-en_US.png"
stop_wizard
! cmp -s "$work/page1-en_US.png" "$work/page2-en_US.png" || fail "Enter on page 1 changed nothing"
! cmp -s "$work/page2-en_US.png" "$work/page3-en_US.png" || fail "Enter on page 2 changed nothing"
step="wizard (de_DE)"
start_wizard de_DE
settled_shot "$work/page1-de_DE.png"
stop_wizard
! cmp -s "$work/page1-en_US.png" "$work/page1-de_DE.png" || fail "page 1 is the same in German"
if [ -n "$shots" ]; then
    cp "$work/page1-en_US.png" "$shots/wine-page1.png"
    cp "$work/page3-en_US.png" "$shots/wine-page3.png"
fi

step="MSI"
programs=$WINEPREFIX/drive_c/Program\ Files/TarselUpdater
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
installed() { wine reg query "$uninstall" /s 2>/dev/null | tr -d '\r' | grep -c "DisplayName.*TarselUpdater" || true; }
wine msiexec /i "$msi" /qn || fail "install"
[ -f "$programs/TarselUpdater.exe" ] && [ -f "$programs/qml/QtQuick.2/qmldir" ] || fail "nothing in Program Files"
# Wine keeps the all-users Start menu in the user's (Windows in ProgramData).
menu=$(find "$WINEPREFIX/drive_c" -path '*/Start Menu/Programs/TarselUpdater.lnk')
[ -n "$menu" ] || fail "no Start-menu entry"
[ "$(installed)" = 1 ] || fail "not registered for uninstall"
out=$(wine "$programs/tarsel-update.exe" --version | tr -d '\r') || fail "installed tarsel-update: $out"
# A later firmware release of the same updater replaces the installed one.
version=$(cut -d_ -f2 <<<"$name" | cut -d+ -f1)
IFS=. read -r major minor patch <<<"$version"
(cd "$release" && wixl -a x64 -D Win64=yes -D SourceDir="$name" -D Version="$version" \
    -D UpgradeBelow="$major.$minor.$((patch + 1))" -D Firmware=9.9.9.9 -o "$work/later.msi" "$src/dist/windows/TarselUpdater.wxs" "$name-files.wxs") \
    >/dev/null 2>&1 || fail "wixl"
wine msiexec /i "$work/later.msi" /qn || fail "upgrade"
[ "$(installed)" = 1 ] || fail "$(installed) installations after the upgrade"
wine reg query "$uninstall" /s 2>/dev/null | grep -q "firmware 9.9.9.9" || fail "the upgrade is not registered"
wine msiexec /x "$work/later.msi" /qn || fail "uninstall"
# Wine's installer keeps the folders that hold no file of their own (qml/QtQuick, plugins) once
# empty; no file may stay.
[ -z "$(find "$programs" -type f 2>/dev/null)" ] || fail "left behind: $(find "$programs" -type f | head)"
[ "$(installed)" = 0 ] || fail "still registered"
[ ! -e "$menu" ] || fail "the Start-menu entry is left"
echo "PASS"
