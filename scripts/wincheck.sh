#!/usr/bin/env bash
# Windows compile check: compiles what only a Windows build sees with MinGW (syntax only) against
# this machine's Qt headers, so that a Windows-only compile error fails here too. Checked:
#   - every *_win.cpp (files CMake adds only on Windows),
#   - every source or header in src/, tools/, tests/ and benchmarks/ with a Windows branch
#     (Q_OS_WIN, _WIN32, _MSC_VER, __MINGW32__) or a POSIX-only include (it needs a Windows
#     branch), except the *_posix.cpp files CMake leaves out on Windows,
#   - the version resource of Tickvane.exe (windres).
# ActiveQt does not exist here: scripts/wincheck/ActiveQt declares the part of it the program uses.
# Usage: scripts/wincheck.sh [--all | FILE...]   (--all: every source a Windows build compiles)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$(date +%s%N)

cxx=${WINCHECK_CXX:-}
if [ -z "$cxx" ]; then
    # Qt's own MinGW builds use the POSIX thread model; the win32 one lacks std::thread in GCC 12.
    for candidate in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
        if command -v "$candidate" >/dev/null; then cxx=$candidate; break; fi
    done
fi
if [ -z "$cxx" ]; then
    echo "wincheck: no MinGW compiler (Debian package g++-mingw-w64-x86-64)" >&2
    exit 2
fi
windres=${WINCHECK_WINDRES:-x86_64-w64-mingw32-windres}
qt=${WINCHECK_QT_INCLUDE:-/usr/include/x86_64-linux-gnu/qt5}

work=$(mktemp -d /tmp/tickvane-wincheck.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/gen" "$work/httplib"

# Files to check.
files=()
if [ "${1:-}" = --all ]; then
    mapfile -t files < <(find src tools tests benchmarks -name '*.cpp' | grep -vE '_(posix|unix|linux)\.cpp$' | sort)
elif [ $# -gt 0 ]; then
    files=("$@")
else
    mapfile -t files < <(
        {
            find src tools tests benchmarks -name '*_win.cpp'
            grep -rlE --include='*.cpp' --include='*.h' \
                -e '^\s*#\s*(if|ifdef|ifndef|elif).*(Q_OS_WIN|_WIN32|_MSC_VER|__MINGW32__)' \
                -e '^\s*#\s*include\s*<(unistd\.h|pthread\.h|signal\.h|csignal|sys/|netinet/|arpa/|poll\.h|fcntl\.h|dlfcn\.h|termios\.h|pwd\.h)' \
                src tools tests benchmarks
        } | grep -vE '_(posix|unix|linux)\.(cpp|h)$' | sort -u)
fi

# Generated inputs: version.h and the resource from the project version, the forms' headers,
# empty moc files (a syntax check needs no meta-objects), and httplib.h without /usr/include.
cmake -DSOURCE_DIR="$root" -DOUTPUT_DIR="$work/gen" -P scripts/wincheck/generate.cmake
for form in src/forms/*.ui; do
    uic -o "$work/gen/ui_$(basename "${form%.ui}").h" "$form"
done
for file in "${files[@]}"; do
    sed -nE 's/^\s*#\s*include\s*"([^"/]*\.moc|moc_[^"/]*\.cpp)".*/\1/p' "$file" | while read -r moc; do
        : > "$work/gen/$moc"
    done
done
httplib=$(pkg-config --variable=includedir cpp-httplib 2>/dev/null || echo /usr/include)/httplib.h
[ -f "$httplib" ] && ln -s "$httplib" "$work/httplib/httplib.h"

flags=(-fsyntax-only -std=c++17 -Wall -Wextra
       -DUNICODE -D_UNICODE -DWIN32 -DMINGW_HAS_SECURE_API=1
       -DQT_CORE_LIB -DQT_GUI_LIB -DQT_WIDGETS_LIB -DQT_NETWORK_LIB -DQT_SQL_LIB -DQT_TESTLIB_LIB
       -DQT_AXCONTAINER_LIB
       -Isrc -Itests -Itools/vendor-sim -I"$work/gen"
       -isystem scripts/wincheck -isystem scripts/wincheck/ActiveQt -isystem "$work/httplib" -isystem "$qt")
for module in QtCore QtGui QtWidgets QtNetwork QtSql QtTest; do
    flags+=(-isystem "$qt/$module")
done

printf "'%s'\n" "${flags[@]}" > "$work/flags"

check() {
    local file=$1 log
    log=$work/log.$(echo "$file" | tr '/' '_')
    if [[ $file == *.h ]]; then
        # A header alone: compiled through a one-line unit (no "#pragma once in main file").
        echo "#include \"$root/$file\"" | "$cxx" @"$work/flags" -x c++ - >"$log" 2>&1
    else
        "$cxx" @"$work/flags" "$file" >"$log" 2>&1
    fi || { echo "FAILED $file"; cat "$log"; return 1; }
    if [ -s "$log" ]; then cat "$log"; fi
    echo "ok     $file"
}
export -f check
export cxx root work

status=0
printf '%s\n' "${files[@]}" | xargs -P "${WINCHECK_JOBS:-2}" -I{} bash -c 'check "$1"' _ {} || status=1

if "$windres" -i "$work/gen/tickvane.rc" -o "$work/tickvane.res.o" >"$work/windres.log" 2>&1; then
    echo "ok     cmake/tickvane.rc.in (windres)"
else
    echo "FAILED cmake/tickvane.rc.in (windres)"; cat "$work/windres.log"; status=1
fi

tenths=$((($(date +%s%N) - start) / 100000000))
took="$((tenths / 10)).$((tenths % 10)) s"
if [ $status -eq 0 ]; then
    echo "Windows compile check passed: ${#files[@]} files and the resource in $took"
else
    echo "Windows compile check FAILED ($took)" >&2
fi
exit $status
