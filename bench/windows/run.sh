#!/usr/bin/env bash
# Start-up to the first frame of page 1: the Windows updater on Wine next to the native one, in the
# same run and on the same X server. Each run is timed from the start of the process to its
# "first-frame-ns" line (it quits then); Wine's own start is part of what a user waits for. The
# server is kept running meanwhile, as on a desktop. Build first: scripts/build.sh, scripts/windows.sh.
# Usage: bench/windows/run.sh [RUNS] (default 11)
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-11}
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-screen 0 1280x1024x24 -noreset' "$0" "$@"
fi
export WINEPREFIX=$PWD/build-win64/wineprefix
wineserver -p 2>/dev/null # stays up between runs
time_first_frame() { # COMMAND...: milliseconds to the first frame
    local start line
    start=$(date +%s%N)
    line=$("$@" 2>/dev/null | grep -m1 '^first-frame-ns' || true)
    [ -n "$line" ] || { echo "no first frame from $*" >&2; exit 1; }
    echo $((($(date +%s%N) - start) / 1000000))
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
native=() wine=()
time_first_frame build-win64/wine-run build-win64/bin/TarselUpdater-firstframe.exe >/dev/null # warm
for _ in $(seq "$runs"); do
    native+=("$(time_first_frame build/bin/TarselUpdater-firstframe)")
    wine+=("$(time_first_frame build-win64/wine-run build-win64/bin/TarselUpdater-firstframe.exe)")
done
n=$(printf '%s\n' "${native[@]}" | median) w=$(printf '%s\n' "${wine[@]}" | median)
echo "first frame of page 1, median of $runs: native Linux $n ms, Windows build on Wine $w ms ($(awk "BEGIN { printf \"%.1f\", $w / $n }")x)"
wineserver -k 2>/dev/null || true
