#!/usr/bin/env bash
# Installs with apt-get whatever the build, the tests and the demo need and this machine lacks;
# `deps.sh demo` only what building and running the demo needs.
set -euo pipefail

demo=(
    build-essential cmake
    qtbase5-dev qtdeclarative5-dev qttools5-dev qttools5-dev-tools
    qml-module-qtquick2 qml-module-qtquick-controls qml-module-qtquick-layouts
    qml-module-qtquick-window2
    libgl1-mesa-dri fonts-lato
    xvfb xauth xdotool imagemagick
    librsvg2-bin # the window icon, drawn at build time from the installed SVG
)

packages=(
    "${demo[@]}"
    git qml-module-qttest
    clang-format
    dpkg-dev file lintian appstream desktop-file-utils
    time # bench/update reads peak memory through /usr/bin/time
    g++-mingw-w64-x86-64 g++-mingw-w64-i686 # the Windows code's compile checks, 64- and 32-bit
    # scripts/windows.sh: the cross build, Wine to run it, the zip and the MSI
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine64 wixl msitools zip unzip xz-utils
    libfuse3-dev fuse3 pkg-config # faultfs, the failing volume of the fault tests
    # libFuzzer and the sanitizer runtimes for scripts/fuzz.sh
    clang libclang-rt-14-dev
    python3-pyatspi at-spi2-core dbus procps # what a screen reader reads, for tst_wizard
    openbox x11-utils # a window manager, and xprop for its frame and the screen scaling
    # the real UDisks2 of the detector's tests and bench/udisks: system bus, udevd, ext4 on loop
    udisks2 udev e2fsprogs mount
)

if [ "${1:-}" = demo ]; then
    packages=("${demo[@]}")
fi

# One query for them all: test.sh calls this once per stage, and a query per package took seconds.
installed=" $(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null \
    | sed -n 's/ install ok installed$//p' | tr '\n' ' ' || true) "
missing=()
for p in "${packages[@]}"; do
    [[ $installed == *" $p "* ]] || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages and not root: ${missing[*]}" >&2
        exit 1
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
