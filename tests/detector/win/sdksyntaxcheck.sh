#!/usr/bin/env bash
# Compiles detector/win/ (each file includes its own header first) and the backend choice against
# MinGW-w64's Windows headers, which winsim must not hide. Usage: sdksyntaxcheck.sh CXX DIR QT_INC...
set -u
compiler=$1 detector=$2
shift 2
if ! command -v "$compiler" >/dev/null 2>&1; then
    echo "SKIP: $compiler is not installed (packages g++-mingw-w64-x86-64, g++-mingw-w64-i686)"
    exit 77
fi
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Werror -Wno-attributes -DNOMINMAX -I"$detector" "${@/#/-I}")
status=0
for file in "$detector"/win/*.cpp "$detector"/platformdetector.cpp; do
    "$compiler" "${flags[@]}" "$file" || { echo "FAILED: $file"; status=1; }
done
exit $status
