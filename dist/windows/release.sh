#!/usr/bin/env bash
# Assembles the Windows release from a cross build: a portable folder packed as a zip, and the
# same files as an MSI. Both are named as the .deb is, after the updater's and the firmware's
# versions. Only what the programs load goes in: the DLLs their import tables reach, the platform
# plugin and the QML modules the pages import.
# Usage: release.sh BIN_DIR QT_KIT MINGW_DLL_DIRS(;-separated) PACKAGE_TOOL VERSION OUT_DIR
set -euo pipefail
bin=$1 kit=$2 runtime_dirs=$3 tool=$4 version=$5 out=$6
here=$(cd "$(dirname "$0")" && pwd)
prefix=x86_64-w64-mingw32

info=$("$tool" info "$bin/data.rcc")
firmware=$(sed -n 's/^  version  *\([0-9][0-9.]*\)  (as the updater shows.*/\1/p' <<<"$info")
[ -n "$firmware" ] || { echo "no firmware version in $bin/data.rcc" >&2; exit 1; }
name=tarsel-updater_${version}+fw${firmware}_win64
stage=$out/$name
rm -rf "$stage" "$out/$name.zip" "$out/$name.msi"
mkdir -p "$stage"

install -m 644 "$bin/data.rcc" "$stage/"
for exe in TarselUpdater.exe tarsel-update.exe; do
    $prefix-strip -o "$stage/$exe" "$bin/$exe"
done
# Qt's own prefix points at the machine the kit was built on; plugins and QML lie here instead.
printf '[Paths]\nPrefix = .\n' >"$stage/qt.conf"
mkdir -p "$stage/plugins/platforms"
cp "$kit/plugins/platforms/qwindows.dll" "$stage/plugins/platforms/"
# The modules the pages import (QtQuick 2, Controls 1 with its Base style, Layouts) and what those
# import in turn (Window); Controls' other styles and modules stay out.
mkdir -p "$stage/qml/QtQuick" "$stage/qml/QtQml"
cp -r "$kit/qml/QtQuick.2" "$stage/qml/"
cp "$kit/qml/QtQml/qmldir" "$kit/qml/QtQml/qmlplugin.dll" "$stage/qml/QtQml/"
for module in Controls Layouts Window.2; do
    cp -r "$kit/qml/QtQuick/$module" "$stage/qml/QtQuick/"
done
rm -rf "$stage/qml/QtQuick/Controls/Styles/Flat"
find "$stage/qml" -name '*.qmltypes' -delete

# The DLLs the programs and plugins import, found in the kit and the MinGW runtime; the system's
# own (kernel32, user32, ...) are on every Windows.
IFS=';' read -r -a search <<<"$kit/bin;$runtime_dirs"
find_dll() {
    local dir
    for dir in "${search[@]}"; do
        [ -f "$dir/$1" ] && { echo "$dir/$1"; return; }
    done
    true
}
declare -A shipped=()
queue=("$stage"/*.exe)
mapfile -t -O ${#queue[@]} queue < <(find "$stage/plugins" "$stage/qml" -name '*.dll')
while [ ${#queue[@]} -gt 0 ]; do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    while read -r dll; do
        [ -n "${shipped[$dll]:-}" ] && continue
        path=$(find_dll "$dll")
        [ -n "$path" ] || continue
        shipped[$dll]=1
        cp "$path" "$stage/$dll"
        queue+=("$stage/$dll")
    done < <($prefix-objdump -p "$file" | sed -n 's/^\tDLL Name: //p')
done
find "$stage" -name '*.dll' -exec $prefix-strip --strip-unneeded {} +

(cd "$out" && TZ=UTC zip -qrX "$name.zip" "$name")

# The MSI installs the folder as it is, one component per file; wixl takes relative sources only.
cd "$out"
find "$name" -type f | sort >"$name.files"
wixl-heat -p "$name/" --var var.SourceDir --directory-ref INSTALLDIR \
    --component-group ReleaseFiles --win64 <"$name.files" >"$name-files.wxs"
IFS=. read -r major minor patch <<<"$version"
wixl -a x64 -D Win64=yes -D SourceDir="$name" -D Version="$version" -D Firmware="$firmware" \
    -D UpgradeBelow="$major.$minor.$((patch + 1))" \
    -o "$name.msi" "$here/TarselUpdater.wxs" "$name-files.wxs"
echo "$out/$name.zip"
echo "$out/$name.msi"
