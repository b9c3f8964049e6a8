#!/usr/bin/env bash
# The Debian package as a user's machine and Debian's tools see it. Exit 77: skipped.
set -euo pipefail
cpack=$1 config=$2 version=$3 tool=$4 cmake=$5 build=$6 stage=$7 rcc=$8 lrelease=$9
for t in dpkg dpkg-deb dpkg-shlibdeps lintian appstreamcli desktop-file-validate; do
    command -v "$t" >/dev/null || { echo "needs $t (scripts/deps.sh installs it)"; exit 77; }
done
fail() { echo "FAIL: $*"; exit 1; }
work=$(mktemp -d)
# ship [CMAKE-OPTION...]: the build's package target, configured with those options first if any
ship() {
    { [ $# = 0 ] || "$cmake" "$@" "$build"; } >"$work/cmake.log" 2>&1 &&
        "$cmake" --build "$build" --target product_package >>"$work/cmake.log" 2>&1
}
trap 'kill "${updater:-}" 2>/dev/null || true; ship -U TARSEL_PRODUCT_PACKAGE || true; rm -rf "$work"' EXIT

# A release as the README makes one: the sample with newer firmware. The build ships a draft of
# it first, then the final one arrives with an old time stamp (cp -p, tar x): only content may
# decide what is shipped, and the version must be read when packing.
cp -r "$stage" "$work/release"
perl -0777 -pi -e 's/Ver:3-1\.0\.0\.2/Ver:3-1.0.0.3/' "$work/release/firmware.bin"
sed -i 's/"1\.0\.0\.2"/"1.0.0.3"/' "$work/release/device.xml"
"$tool" build "$work/release" -o "$work/made.rcc" --previous "$build/bin/data.rcc" --strict \
    >"$work/build.log" 2>&1 || fail "$(cat "$work/build.log")"
cp "$build/bin/data.rcc" "$work/release.rcc"
ship -D TARSEL_PRODUCT_PACKAGE="$work/release.rcc" || fail "$(cat "$work/cmake.log")"
touch -d '2001-01-01' "$work/made.rcc"
cp -p "$work/made.rcc" "$work/release.rcc"
ship || fail "$(cat "$work/cmake.log")"

# A stale DISPLAY (ssh -X without an X server) must not stop the packing.
env -u QT_QPA_PLATFORM DISPLAY=:4093 "$cpack" -G DEB --config "$config" -B "$work" >"$work/cpack.log" ||
    fail "$(cat "$work/cpack.log")"
deb=$work/tarsel-updater_${version}+fw1.0.0.3_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb: $(cat "$work/cpack.log")"
lib=$work/root/usr/lib/tarsel-updater
dpkg -x "$deb" "$work/root"
cmp "$work/made.rcc" "$lib/data.rcc" || fail "the .deb does not ship the release package"

# The same release repacked by hand with a stale checksum: the build refuses it and keeps the
# shipped package, and cpack packs nothing in place of the good .deb of the same name.
cp -r "$work/release" "$work/stale"
for ts in "$work"/stale/*.ts; do "$lrelease" -idbased -silent "$ts" -qm "${ts%.ts}.qm" && rm "$ts"; done
printf 'firmware.bin %s' "$(md5sum <"$stage/firmware.bin" | cut -c1-32)" >"$work/stale/firmware.md5"
echo "<RCC><qresource>$(cd "$work/stale" && for f in *; do echo "<file alias=\"$f\">stale/$f</file>"; done)
    </qresource></RCC>" >"$work/stale.qrc"
"$rcc" --binary "$work/stale.qrc" -o "$work/stale.rcc"
cp "$deb" "$work/good.deb"
ship -D TARSEL_PRODUCT_PACKAGE="$work/stale.rcc" &&
    fail "the build takes a package that fails check: $(cat "$work/cmake.log")"
grep -q "firmware.md5.*error" "$work/cmake.log" || fail "no finding: $(cat "$work/cmake.log")"
cmp "$work/made.rcc" "$build/bin/data.rcc" || fail "the refused package replaced the shipped one"
"$cpack" -G DEB --config "$config" -B "$work" >"$work/cpack.log" 2>&1 &&
    fail "cpack packs what the build refused"
cmp "$deb" "$work/good.deb" || fail "the good .deb was replaced"

id=com.corvel.TarselUpdater
listing=$(dpkg-deb -c "$deb" | awk '{ print $1, $2, $6, $7, $8 }' | sed 's/ *$//')
in=./usr/lib/tarsel-updater share=./usr/share
for line in "lrwxrwxrwx root/root ./usr/bin/tarsel-updater -> ../lib/tarsel-updater/TarselUpdater" \
    "lrwxrwxrwx root/root ./usr/bin/tarsel-update -> ../lib/tarsel-updater/tarsel-update" \
    "-rwxr-xr-x root/root "{$in/TarselUpdater,$in/tarsel-update,./usr/bin/tarsel-package} \
    "-rw-r--r-- root/root "{$in/data.rcc,$share/applications/$id.desktop,$share/metainfo/$id.metainfo.xml} \
    "-rw-r--r-- root/root $share/icons/hicolor/scalable/apps/$id.svg" \
    "-rw-r--r-- root/root $share/man/man1/tarsel-"{updater,package,update}.1.gz; do
    grep -Fxq -e "$line" <<<"$listing" || fail "no \"$line\" in:"$'\n'"$listing"
done

# The QML modules load at run time, out of the library scan's sight; the font is compiled in.
depends=", $(dpkg-deb --field "$deb" Depends),"
for p in libqt5core5a libqt5gui5 libqt5qml5 libqt5quick5 qml-module-qtquick{2,-controls,-layouts,-window2}; do
    grep -Eq ", $p[ ,]" <<<"$depends" || fail "no $p in $depends"
done
grep -q fonts- <<<"$depends" && fail "depends on a font package: $depends"

grep '^E: ' <(lintian --display-info "$deb") && fail "lintian errors"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml"
desktop-file-validate "$work/root/usr/share/applications/$id.desktop"
"$tool" check --strict "$lib/data.rcc"

# Started through the link on PATH, the updater maps the package beside the real executable.
export QT_QPA_PLATFORM=offscreen QT_QUICK_BACKEND=software XDG_RUNTIME_DIR=$work/runtime \
    XDG_STATE_HOME=$work/state # its run log stays out of the real home
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
! objdump -p "$lib/tarsel-update" | grep -E 'NEEDED.*Qt5(Quick|Qml)' || fail "tarsel-update links Qt Quick"
