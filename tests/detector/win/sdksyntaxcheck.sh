#!/usr/bin/env bash
# Compiles every file of detector/win/, and the backend choice that includes it, against the real
# Windows SDK headers of MinGW-w64, without linking: the simulated system must not hide code that
# Windows would not build. Usage: sdksyntaxcheck.sh COMPILER DETECTOR_DIR QT_INCLUDE_DIR...
set -u
compiler=$1 detector=$2
shift 2
if ! command -v "$compiler" >/dev/null 2>&1; then
    echo "SKIP: $compiler is not installed (package g++-mingw-w64-x86-64)"
    exit 77
fi
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Werror -Wno-attributes -DNOMINMAX -I"$detector" "${@/#/-I}")
status=0
for file in "$detector"/win/*.cpp "$detector"/platformdetector.cpp; do
    "$compiler" "${flags[@]}" "$file" || { echo "FAILED: $file"; status=1; }
done
# Each header on its own, so none leans on what an including file happened to bring.
for header in "$detector"/win/*.h; do
    echo "#include \"win/${header##*/}\"" | "$compiler" "${flags[@]}" -x c++ - \
        || { echo "FAILED: $header"; status=1; }
done
exit $status
