#!/usr/bin/env bash
# Prints the interface's figures: start-up to the first frame of Page 1 (median of runs), the
# cost of reading windowMinimumHeight (a few reads in each of several processes) and the waiting
# page's CPU use (rounds of 3 s, the second argument, default 5). Runs under
# Xvfb when there is no display. Build first (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s '-screen 0 1280x1024x24 -noreset' "$0" "$@"
fi
build/bin/bench_startup "${1:-21}" 2>/dev/null | tail -n1
for process in 1 2 3 4 5; do
    echo "process $process: $(build/bin/bench_minimumheight 3 2>/dev/null | tr '\n' ';' | sed 's/;$//')"
done
# The waiting page, drawn by OpenGL (Mesa's llvmpipe under Xvfb) and by Qt Quick's software
# renderer. No product is connected: the search just waits.
sim=$(mktemp -d)
eval "$(build/bin/tarsel-sim create "$sim/product")"
export TARSEL_SYSFS_ROOT TARSEL_MOUNTINFO
build/bin/bench_idlepage "${2:-5}" 2>/dev/null
QT_QUICK_BACKEND=software build/bin/bench_idlepage "${2:-5}" 2>/dev/null
rm -rf "$sim"
