#!/usr/bin/env bash
# Installs what the build, the tests and the demo need on a fresh Debian 12 machine (as root),
# then configures and builds into build/ (everything, or the targets SETUP_TARGETS names).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(qtbase5-dev qtbase5-dev-tools libqt5sql5-mysql libqt5sql5-sqlite mariadb-server zlib1g-dev
          mariadb-client p7zip-full xvfb xauth imagemagick cmake g++ make libcpp-httplib-dev
          ccache libgtest-dev libbenchmark-dev g++-mingw-w64-x86-64 clang mawk
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 xdotool)
# The second build, on Qt 6 (scripts/test.sh builds and tests it beside the Qt 5 one).
packages+=(qt6-base-dev qt6-base-dev-tools libqt6sql6-mysql libqt6sql6-sqlite)
# The Inno Setup compiler and the setup programs it makes are 32-bit Windows programs.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
packages+=(wine32:i386)
packages+=(libclang-rt-14-dev) # libFuzzer for scripts/fuzz.sh; clang only recommends it
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# npm fetches the Windows 7za.exe; a Node.js from elsewhere brings its own.
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# SETUP_TARGETS builds only those (the demo needs two programs, not the tests).
read -ra targets <<< "${SETUP_TARGETS:-all}"
cmake --build build -j"$(nproc)" --target "${targets[@]}"
