#!/usr/bin/env bash
# The Debian package as a user's machine and Debian's tools see it. Exit 77: skipped.
set -euo pipefail
cpack=$1 config=$2 version=$3 tool=$4
for t in dpkg dpkg-deb dpkg-shlibdeps lintian appstreamcli desktop-file-validate; do
    command -v "$t" >/dev/null || { echo "needs $t (scripts/deps.sh installs it)"; exit 77; }
done
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
trap 'kill "${updater:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
"$cpack" -G DEB --config "$config" -B "$work" >"$work/cpack.log" || fail "$(cat "$work/cpack.log")"
deb=$work/tarsel-updater_${version}_$(dpkg --print-architecture).deb
lib=$work/root/usr/lib/tarsel-updater
dpkg -x "$deb" "$work/root"

id=com.corvel.TarselUpdater
listing=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6, $7, $8 }' | sed 's/ *$//')
while read -r line; do
    grep -Fxq -e "$line" <<<"$listing" || fail "no \"$line\" in:"$'\n'"$listing"
done <<EOF
lrwxrwxrwx root/root ./usr/bin/tarsel-updater -> ../lib/tarsel-updater/TarselUpdater
-rwxr-xr-x root/root ./usr/lib/tarsel-updater/TarselUpdater
-rw-r--r-- root/root ./usr/lib/tarsel-updater/data.rcc
-rw-r--r-- root/root ./usr/share/applications/$id.desktop
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/$id.svg
-rw-r--r-- root/root ./usr/share/metainfo/$id.metainfo.xml
-rw-r--r-- root/root ./usr/share/man/man1/tarsel-updater.1.gz
lrwxrwxrwx root/root ./usr/bin/tarsel-update -> ../lib/tarsel-updater/tarsel-update
-rwxr-xr-x root/root ./usr/lib/tarsel-updater/tarsel-update
-rw-r--r-- root/root ./usr/share/man/man1/tarsel-update.1.gz
EOF

# The QML modules load at run time, out of the library scan's sight; the font is compiled in.
depends=", $(dpkg-deb --field "$deb" Depends),"
for p in libqt5core5a libqt5gui5 libqt5qml5 libqt5quick5 qml-module-qtquick{2,-controls,-layouts,-window2}; do
    grep -Eq ", $p[ ,]" <<<"$depends" || fail "no $p in $depends"
done
grep -q fonts- <<<"$depends" && fail "depends on a font package: $depends"

lintian --display-info "$deb" >"$work/lintian" || true
grep '^E: ' "$work/lintian" && fail "lintian errors"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml"
desktop-file-validate "$work/root/usr/share/applications/$id.desktop"
"$tool" check --strict "$lib/data.rcc"

# Started through the link on PATH, the updater maps the package beside the real executable.
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$work/runtime" "$work/elsewhere"
(cd "$work/elsewhere" && exec "$work/root/usr/bin/tarsel-updater") 2>"$work/updater.log" &
updater=$!
for _ in $(seq 150); do
    grep -qF "$lib/data.rcc" "/proc/$updater/maps" 2>/dev/null && break
    kill -0 "$updater" 2>/dev/null || fail "the updater stopped: $(cat "$work/updater.log")"
    sleep 0.1
done
grep -qF "$lib/data.rcc" "/proc/$updater/maps" || fail "data.rcc not mapped"

# tarsel-update through its link, with no display: the package beside the real executable, and
# no Qt Quick or QML library loaded.
out=$(cd "$work/elsewhere" && env -u DISPLAY -u QT_QPA_PLATFORM TARSEL_MOUNTINFO=/dev/null \
    "$work/root/usr/bin/tarsel-update" --json --timeout 1) && code=0 || code=$?
[ "$code" = 11 ] && grep -qF "\"path\":\"$lib/data.rcc\"" <<<"$out" || fail "tarsel-update: $code $out"
objdump -p "$lib/tarsel-update" | grep -E 'NEEDED.*Qt5(Quick|Qml)' && fail "tarsel-update links Qt Quick"
true
