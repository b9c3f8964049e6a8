#!/usr/bin/env bash
# The soak: RUNS (default 100) update runs in one process. Every fifth run is a successful update,
# which shows its five seconds of progress, so 100 runs take about two minutes. Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build -j2 --target tarsel-bench-soak sample_package >/dev/null
build/bench/soak/tarsel-bench-soak build/bin "${1:-100}"
