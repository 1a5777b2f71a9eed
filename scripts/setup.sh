#!/usr/bin/env bash
# Installs what is missing on a Debian 12 machine (as root), one tier at a time, then configures
# and builds into build/ (everything, or the targets SETUP_TARGETS names).
#   SETUP_TIERS   "all" (the default: every tier below, what scripts/test.sh needs), "demo" (what
#                 scripts/demo.sh needs and no more), "none", or tier names
#   SETUP_BUILD=0 installs only; SETUP_BUILD_DIR builds elsewhere than build/
# Tiers, in this order: linux (the Qt 5 build, its tests, the sanitizer build), fuzz, qt6,
# windows (MinGW, Wine, npm, xdotool), wine32 (32-bit Wine for the installer). Each is one apt
# transaction; one that cannot be had prints one line and the next is tried all the same. Only
# the first (linux, or demo) failing fails the script. Under scripts/test.sh each tier is a row of
# its stage table (scripts/stages.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/stages.sh

# What the demo builds and runs: the feed and vendor-sim on Qt 5 with SQLite, Xvfb and a screenshot.
# pkg-config finds cpp-httplib for vendor-sim (Debian's package has no CMake file); 7za unpacks the
# end-of-day archives a trader may ask for in the window.
demo="qtbase5-dev qtbase5-dev-tools libqt5sql5-sqlite cmake g++ make pkg-config ccache
      libcpp-httplib-dev zlib1g-dev p7zip-full xvfb xauth imagemagick"
declare -A tier_packages=(
    [demo]=$demo
    # The tests add MariaDB and Qt's MySQL driver; clang builds the sanitizer tree; mawk is the
    # live bench's filter; tinyproxy and iproute2 the network test's proxy and namespace.
    [linux]="$demo libqt5sql5-mysql mariadb-server mariadb-client clang mawk tinyproxy iproute2"
    [fuzz]="libclang-rt-14-dev" # libFuzzer; clang only recommends it
    [qt6]="qt6-base-dev qt6-base-dev-tools libqt6sql6-mysql libqt6sql6-sqlite"
    # python3 plays a black-holed database port in the end-to-end run under Wine.
    [windows]="g++-mingw-w64-x86-64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
               wine wine64 xdotool python3"
    # The Inno Setup compiler and the setup programs it makes are 32-bit Windows programs.
    [wine32]="wine32:i386"
)
# npm fetches the Windows 7za.exe and Inno Setup; a Node.js from elsewhere brings its own npm,
# which Debian's npm would conflict with.
command -v npm >/dev/null || tier_packages[windows]+=" npm"

declare -A tier_title=(
    [demo]="the Qt 5 build and the demo"
    [linux]="Qt 5 and sanitizer builds"
    [fuzz]="fuzzing (libclang-rt-14-dev)"
    [qt6]="Qt 6"
    [windows]="Windows cross build and Wine"
    [wine32]="32-bit Wine (wine32:i386)"
)
declare -A tier_for=(
    [demo]="the demo"
    [linux]="every Linux build and test"
    [fuzz]="the fuzz stage"
    [qt6]="the Qt 6 build and its tests"
    [windows]="the Windows build, its tests under Wine and the end-to-end run"
    [wine32]="the installer steps"
)

case ${SETUP_TIERS:-all} in
    all) tiers=(linux fuzz qt6 windows wine32) ;;
    none) tiers=() ;;
    *) read -ra tiers <<< "$SETUP_TIERS" ;;
esac

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

log=$(mktemp /tmp/tickvane-setup.XXXXXX)
trap 'rm -f "$log" "$log".*' EXIT

# apt-get update at most once, when a tier lacks something. One list failing (a mirror in the
# middle of a sync) must not stop the tiers that do not need it: the failed lists are kept in
# $log.failed ("LIST<tab>WHY" lines) for the reasons of the tiers that do.
lists_refreshed=
refresh_lists() {
    [ -z "$lists_refreshed" ] || return 0
    lists_refreshed=1
    local status=0
    apt-get update > "$log.update" 2>&1 || status=$?
    awk '/^Err:/ { list = $3; for (i = 4; i <= NF; i++) list = list " " $i
                   getline why; sub(/^ +/, "", why); sub(/ *\[IP: .*$/, "", why)
                   print list "\t" why }' "$log.update" | sort -u > "$log.failed"
    if [ -s "$log.failed" ]; then
        echo "apt-get update: $(wc -l < "$log.failed") package list(s) failed to download; each tier is tried with the lists there are:"
        sed 's/\t/: /; s/^/  /' "$log.failed"
    elif [ $status -ne 0 ]; then
        echo "apt-get update failed (exit status $status); each tier is tried with the lists there are:"
        grep -E '^(E|W):' "$log.update" | sed 's/^/  /' || true
    fi
}

# Why apt-get could not install the packages of a tier: the failed lists of their architecture if
# there are any, else apt's own last error.
why_not() { # PACKAGE...
    local arch p reasons
    arch=$(dpkg --print-architecture)
    for p; do [[ $p == *:i386 ]] && arch=i386; done
    reasons=$(awk -F'\t' -v arch="$arch" '
        $1 ~ (" " arch " ") || $1 ~ /Release$/ { printf "%sthe package list %s failed to download (%s)", sep, $1, $2; sep = "; " }' \
        "$log.failed" 2>/dev/null)
    if [ -n "$reasons" ]; then
        echo "$reasons"
    else
        echo "apt-get install failed: $(grep -E '^E:' "$log.install" | tail -1 | cut -c4- || true)"
    fi
}

install_tier() { # TIER PACKAGE...
    local tier=$1 start missing=() p reason=
    shift
    start=$(date +%s)
    for p; do installed "$p" || missing+=("$p"); done
    local title="set-up: ${tier_title[$tier]}"
    if [ ${#missing[@]} -eq 0 ]; then
        stage_record "setup-$tier" "$title" passed $(( $(date +%s) - start ))
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        reason="not root, so apt-get cannot install ${missing[*]}"
    else
        refresh_lists
        echo "Installing ${tier_title[$tier]}: ${missing[*]}"
        if DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" > "$log.install" 2>&1; then
            stage_record "setup-$tier" "$title" passed $(( $(date +%s) - start )) "installed ${#missing[@]} package(s)"
            return 0
        fi
        reason=$(why_not "${missing[@]}")
    fi
    if [ "$tier" = linux ] || [ "$tier" = demo ]; then
        echo "FAILED: $title (${missing[*]}): $reason" >&2
        [ ! -s "$log.install" ] || tail -n 20 "$log.install" >&2
        stage_record "setup-$tier" "$title" failed $(( $(date +%s) - start )) "$reason"
        return 1
    fi
    # One line: what is left out, and why.
    echo "skipped: ${tier_title[$tier]}, for ${tier_for[$tier]}: $reason"
    stage_record "setup-$tier" "$title" skipped $(( $(date +%s) - start )) "$reason"
}

for tier in "${tiers[@]}"; do
    [ -n "${tier_title[$tier]:-}" ] || { echo "setup: no tier '$tier' (${!tier_title[*]})" >&2; exit 2; }
    # Debian's 32-bit packages come with the i386 lists, which apt-get update fetches only once
    # the architecture is known.
    if [ "$tier" = wine32 ] && ! installed wine32:i386 && [ "$(id -u)" -eq 0 ]; then
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    fi
done
status=0
for tier in "${tiers[@]}"; do
    read -ra packages <<< "${tier_packages[$tier]//$'\n'/ }"
    install_tier "$tier" "${packages[@]}" || status=1
done
[ $status -eq 0 ] || exit $status

[ "${SETUP_BUILD:-1}" != 0 ] || exit 0
build=${SETUP_BUILD_DIR:-build}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# SETUP_TARGETS builds only those (the demo needs two programs, not the tests).
read -ra targets <<< "${SETUP_TARGETS:-all}"
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
