#!/usr/bin/env bash
# Wall time of one scripted update on the simulated product (firmware 3-1.0.0.1 replaced by the
# packaged one): tarsel-update from start to exit, next to the wizard from start to its result
# page, driven by key presses under Xvfb (scripts/lib/wizard.sh). The product is powered on as
# soon as each one waits for it. Both include Core's five-second closing progress. Medians of
# RUNS runs (default 5), in seconds. Build first (scripts/build.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
runs=${1:-5}
. scripts/lib/wizard.sh
work=$(mktemp -d /tmp/bench-cli.XXXXXX)
cli=
cleanup() {
    if [ -n "$cli" ]; then kill "$cli" 2>/dev/null || true; fi
    if [ -n "${WIZARD_PID:-}" ]; then kill "$WIZARD_PID" 2>/dev/null || true; fi
    wizard_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.2f", v[int((NR + 1) / 2)] / 1e9 }'; }

for n in $(seq "$runs"); do
    wizard_simulate "$work/cli$n" 3-1.0.0.1
    start=$(now)
    env -u DISPLAY build/bin/tarsel-update --json >"$work/cli$n.jsonl" &
    cli=$!
    until grep -q '"waiting"' "$work/cli$n.jsonl"; do sleep 0.01; done
    wizard_plug
    wait "$cli" || { echo "tarsel-update failed: $(cat "$work/cli$n.jsonl")" >&2 && exit 1; }
    cli=
    echo $(($(now) - start)) >>"$work/cli.times"
    cmp -s "$WIZARD_VOLUME/firmware.bin" build/package/stage/firmware.bin
done

wizard_start_xvfb
for n in $(seq "$runs"); do
    wizard_simulate "$work/wizard$n" 3-1.0.0.1
    start=$(now)
    wizard_start build/bin/TarselUpdater "$work/wizard$n.log"
    wizard_to_page3
    wizard_plug
    [ "$(wizard_wait_page Page5 30)" = 0 ] || { echo "the wizard failed" >&2 && exit 1; }
    echo $(($(now) - start)) >>"$work/wizard.times"
    kill "$WIZARD_PID" && wizard_wait_exit && WIZARD_PID=
    cmp -s "$WIZARD_VOLUME/firmware.bin" build/package/stage/firmware.bin
done

echo "runs: $runs"
echo "tarsel-update, start to exit:      $(median <"$work/cli.times") s"
echo "wizard, start to its result page:  $(median <"$work/wizard.times") s"
