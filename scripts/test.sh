#!/usr/bin/env bash
# The project's test command: installs, builds, checks formatting and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh

mapfile -t sources < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
if [ ${#sources[@]} -gt 0 ]; then
    clang-format --dry-run --Werror "${sources[@]}"
fi

(cd build && xvfb-run -a -s '-screen 0 1280x1024x24' ctest --output-on-failure -j"$(nproc)" \
    --repeat until-pass:2)
scripts/windows.sh
scripts/sanitize.sh address
scripts/sanitize.sh thread
scripts/fuzz.sh 20
