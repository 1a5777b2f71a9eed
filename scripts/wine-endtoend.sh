#!/usr/bin/env bash
# The installed Windows program end to end under Wine, called by scripts/wintest.sh (which sets
# WINEPREFIX, DISPLAY, WINEPATH and registers Broker.exe): Tickvane.exe installed by
# `cmake --install` into C:\Quorvix, the SQLite vendor database, the Linux vendor-sim on 127.0.0.1.
#   1. first start: account found, start-up backfill, live feed ~20 s; Broker.exe killed, the
#      object created again within 5 s, LoadDatabase again, imports resume; closed through
#      WM_CLOSE: SaveDatabase, Broker.exe ended by taskkill, choices in the registry;
#   2. second start: the selection read back from the registry; the end-of-day archive asked for
#      through the window (EOD button, then the dialog's Backfill, clicked with xdotool), unpacked
#      by 7za.exe and imported for the watch list's symbol; a start without a selection closed
#      while it asks for symbols: the process ends;
#   3. third start: a newer version offered, the update unpacked by 7za.exe and its
#      ZentorUpdator.bat run by cmd.
# Checked from the automation journal, vendor-sim's request log and the registry.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${WINTEST_BUILD:?set by scripts/wintest.sh}
work=${WINTEST_WORK:?set by scripts/wintest.sh}/endtoend
vendor_sim=${WINTEST_VENDOR_SIM:-$repo/build/bin/vendor-sim}
[ -x "$vendor_sim" ] || { echo "wine-endtoend: no Linux vendor-sim at $vendor_sim (scripts/setup.sh builds it)" >&2; exit 1; }
mkdir -p "$work"
user=E2E-WINE
drive_c=$WINEPREFIX/drive_c
root=$drive_c/Quorvix
journal=$root/automation.log
requests=$work/requests.log
settings='HKCU\Software\Quorvix Company\Quorvix'

failures=0
check() { # check DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then echo "  ok: $what"; else echo "  FAILED: $what"; failures=$((failures + 1)); fi
}
utc_ms() { date -u +%Y-%m-%dT%H:%M:%S.%3NZ; }
wait_for() { # wait_for SECONDS COMMAND...: polls every 0.2 s
    local deadline=$(( $(date +%s) + $1 )); shift
    until "$@" 2>/dev/null; do
        [ "$(date +%s)" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# Installed as a trader's machine has it: CMake's prefix is C:/Quorvix, which on Linux is a
# path relative to the working folder; there "C:" is the prefix's drive.
mkdir -p "$work/drives"
ln -sfn "$drive_c" "$work/drives/C:"
(cd "$work/drives" && cmake --install "$build" >/dev/null)
[ -f "$root/Tickvane.exe" ] && [ -f "$root/7za.exe" ] || { echo "wine-endtoend: install failed" >&2; exit 1; }
# Nothing of ours on the search path: the installed folder must be complete.
unset WINEPATH QT_PLUGIN_PATH

vendor_pid=
tickvane_pid=
stop_vendor() {
    if [ -n "$vendor_pid" ]; then kill "$vendor_pid" 2>/dev/null || true; wait "$vendor_pid" 2>/dev/null || true; fi
    vendor_pid=
}
cleanup() {
    stop_vendor
    if [ -n "$tickvane_pid" ]; then kill "$tickvane_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

start_vendor() { # start_vendor [OPTION...]
    : > "$work/vendor.out"
    "$vendor_sim" --port 0 --db "sqlite:$work/vendor.db" --user "$user" --record "$requests" "$@" \
        > "$work/vendor.out" 2> "$work/vendor.err" &
    vendor_pid=$!
    address=
    wait_for 20 grep -q '^vendor-sim listening on' "$work/vendor.out" || { cat "$work/vendor.err" >&2; exit 1; }
    address=$(sed -n 's/^vendor-sim listening on \(127\.0\.0\.1:[0-9]*\)$/\1/p' "$work/vendor.out")
}

start_tickvane() { # start_tickvane RUN_NAME
    # No QUORVIX_ROOT: the program's own C:\Quorvix.
    QUORVIX_DB="sqlite:$(winepath -w "$work/vendor.db" | tr '\\' /)" QUORVIX_USER_ID=$user \
        QUORVIX_BACKFILL_SERVER=$address QUORVIX_PROBE=$address \
        wine 'C:\Quorvix\Tickvane.exe' > "$work/$1.out" 2>&1 &
    tickvane_pid=$!
}

# The trader's close: WM_CLOSE to the program's windows (taskkill without /F).
close_tickvane() {
    wine taskkill /IM Tickvane.exe >/dev/null 2>&1 || true
    check "closed: the program ended" wait_for 60 bash -c "! kill -0 $tickvane_pid"
    wait "$tickvane_pid" 2>/dev/null || true
    tickvane_pid=
}

echo "End to end under Wine (C:\\Quorvix in $WINEPREFIX):"
# A trader who has used the feed before (as the demo's): a selection, the FUTURE box ticked, AmiBroker
# ended on close. The other boxes are absent until the close writes them.
wine reg add "$settings" /v controlAmibroker /t REG_SZ /d true /f >/dev/null
wine reg add "$settings" /v selectedSymbolsList /t REG_MULTI_SZ /f >/dev/null \
    /d 'BANKNIFTY-I\0CRUDEOIL-I\0GOLDM-I\0SILVERM-I\0USDINR-I\0INDIAVIX\0ICICIBANK\0NIFTY-I'
wine reg add "$settings" /v corrExchList /t REG_MULTI_SZ /f >/dev/null \
    /d 'FUTURE\0MCX\0MCX\0MCX\0CURRENCY\0SPOTINDEX\0CASH\0FUTURE'
wine reg add "$settings" /v checkbox1 /t REG_SZ /d true /f >/dev/null
: > "$requests"

# --- 1. First start -----------------------------------------------------------------------------
start_vendor
start_tickvane first
check "the feed reaches AmiBroker (RefreshAll in the journal)" \
    wait_for 90 grep -q $'\tRefreshAll()' "$journal"
live_start=$(date +%s)
check "account found (log)" wait_for 15 grep -qa "account found for user ID $user" "$root"/logs/tickvane-*.log
check "LoadDatabase with the Windows path" \
    grep -qF $'LoadDatabase(QString&)\tC:\\Quorvix\\Amibroker\\QVF1000' "$journal"
sleep $(( 20 - ($(date +%s) - live_start) > 0 ? 20 - ($(date +%s) - live_start) : 0 ))
# The window under Wine's Windows style (its drawn row buttons); WINTEST_SCREENSHOT keeps a copy.
title="Tickvane $(sed -n 's/^project(Tickvane VERSION \([0-9.]*\).*/\1/p' "$repo/CMakeLists.txt") M"
import -window "$title" "$work/screenshot-wine.png" 2>/dev/null || import -window root "$work/screenshot-wine.png" 2>/dev/null || true
if [ -n "${WINTEST_SCREENSHOT:-}" ] && [ -s "$work/screenshot-wine.png" ]; then cp "$work/screenshot-wine.png" "$WINTEST_SCREENSHOT"; fi
imports_before=$(grep -cF $'\tImport(0,C:\\Quorvix\\rtimport.txt,C:\\Quorvix\\dataFormatRT.dll)' "$journal" || true)
check "live imports for 20 s, each followed by RefreshAll ($imports_before imports)" \
    awk -F'\t' -v n="$imports_before" '
        $2 ~ /^Import\(0,C:\\Quorvix\\rtimport\.txt,/ { pending = 1; next }
        pending && $2 == "RefreshAll()" { pairs++; pending = 0 }
        END { exit !(n >= 15 && pairs >= n - 1) }' "$journal"
check "start-up backfill requested and imported" \
    wait_for 90 bash -c "grep -qP '\tbackfill\t' '$requests' && grep -qF ',C:\\Quorvix\\dataFormat.dll)' '$journal'"

# AmiBroker dies under the feed.
lines_before_kill=$(wc -l < "$journal")
broker_pid=$(pgrep -f 'Broker\.exe' | head -1)
killed_at=$(date +%s%3N)
wine taskkill /F /IM Broker.exe >/dev/null 2>&1
# A killed Wine process may linger as a zombie until it is reaped: gone all the same.
check "Broker.exe killed (taskkill /F)" wait_for 10 bash -c "! ps -o stat= -p $broker_pid | grep -qv Z"
check "object created again and LoadDatabase again, then imports resume" \
    wait_for 30 awk -F'\t' -v skip="$lines_before_kill" '
        NR <= skip { next }
        $2 == "create Broker.Application" && $3 == "" { created = 1; next }
        created && $2 == "LoadDatabase(QString&)" { loaded = 1; next }
        loaded && $2 ~ /^Import\(0,/ { imported = 1 }
        END { exit !imported }' "$journal"
recreated_ms=$(awk -F'\t' -v skip="$lines_before_kill" 'NR > skip && $2 == "create Broker.Application" && $3 == "" { print $1; exit }' "$journal")
if [ -n "$recreated_ms" ]; then
    recreated_ms=$(date -u -d "$recreated_ms" +%s%3N)
    check "created again within 5 s of the kill ($(( recreated_ms - killed_at )) ms)" \
        test $(( recreated_ms - killed_at )) -le 5000
fi
# The log reaches its file on the writer's next round.
check "link lost and restored (log)" wait_for 15 bash -c "grep -qa 'AmiBroker link lost' '$root'/logs/tickvane-*.log \
    && grep -qa 'AmiBroker link restored' '$root'/logs/tickvane-*.log"
echo "  journal around the kill:"
awk -v from="$lines_before_kill" 'NR > from - 4 && NR <= from + 6 { print "    " $0 }' "$journal"

# Taken out now, so that finding it again shows the close wrote the choices.
wine reg delete "$settings" /v checkbox0 /f >/dev/null 2>&1 || true
lines_before_close=$(wc -l < "$journal")
brokers_before_close=$(pgrep -f 'Broker\.exe' | tr '\n' ' ')
close_tickvane
check "close: SaveDatabase" bash -c "tail -n +$((lines_before_close + 1)) '$journal' | cut -f2 | grep -qx 'SaveDatabase()'"
check "close: Broker.exe ended by taskkill (log)" wait_for 15 grep -qaE 'taskkill /F /IM Broker.exe( /T)?: exit code 0' "$root"/logs/tickvane-*.log
check "close: the Broker.exe it used is gone (${brokers_before_close:-none running})" \
    bash -c "[ -n '$brokers_before_close' ] && for p in $brokers_before_close; do
                 ps -o stat= -p \$p | grep -qv Z && exit 1; done; exit 0"
check "close: choices written to the registry (feed box removed before the close is back)" \
    bash -c "wine reg query '$settings' /v checkbox0 | grep -q 'checkbox0 *REG_SZ' \
        && wine reg query '$settings' /v selectedSymbolsList | grep -q REG_MULTI_SZ"

# --- 2. Second start: the selection comes from the registry ------------------------------------
# ICICIBANK is the one symbol of the end-of-day archive below that the watch list holds.
wine reg add "$settings" /v selectedSymbolsList /t REG_MULTI_SZ /d 'NIFTY-I\0ICICIBANK' /f >/dev/null
wine reg add "$settings" /v corrExchList /t REG_MULTI_SZ /d 'FUTURE\0CASH' /f >/dev/null
wine reg add "$settings" /v disableAutoBackfill5 /t REG_SZ /d true /f >/dev/null
requests_before=$(wc -l < "$requests")
lines_before=$(wc -l < "$journal")
start_tickvane second
check "second start reaches AmiBroker" \
    wait_for 90 bash -c "tail -n +$((lines_before + 1)) '$journal' | grep -q $'\tRefreshAll()'"
check "second start asks the vendor for exactly the stored selection (NIFTY-I, no BANKNIFTY-I)" \
    bash -c "tail -n +$((requests_before + 1)) '$requests' | grep -P '\tlive\t' | tail -1 \
        | grep -P 'NIFTY-I' | grep -vq 'BANKNIFTY-I'"

# The end-of-day archive as a trader asks for it: the window's EOD button, then in the dialog the
# defaults (CASH, recent, watch list only) and its Backfill button. No window manager runs, so
# the clicks go to points of each window (its X window is the client area); positions from
# src/forms/amibrokerlivedata2.ui (pushButton) and src/forms/eoddata.ui (backfillButton).
journal_before_eod=$(wc -l < "$journal")
requests_before_eod=$(wc -l < "$requests")
visible_window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
click_at() { # click_at WINDOW X Y
    xdotool windowfocus --sync "$1" >/dev/null 2>&1 || true
    xdotool mousemove --window "$1" --sync "$2" "$3" click 1
}
main_window=$(visible_window "^$title\$")
eod_window=
if [ -n "$main_window" ]; then
    click_at "$main_window" 584 55
    wait_for 20 bash -c "xdotool search --onlyvisible --name '^Parvel RT EOD\$' >/dev/null" || true
    eod_window=$(visible_window '^Parvel RT EOD$')
fi
check "EOD button opens the end-of-day dialog" test -n "$eod_window"
if [ -n "$eod_window" ]; then
    click_at "$eod_window" 255 235
    check "the dialog closes on its Backfill" wait_for 20 bash -c "[ -z \"\$(xdotool search --onlyvisible --name '^Parvel RT EOD\$')\" ]"
fi
check "end-of-day: archive CASH-1.zip requested" wait_for 30 bash -c \
    "tail -n +$((requests_before_eod + 1)) '$requests' | grep -P '\teod\t' | grep -q '/CASH-1\.zip'"
check "end-of-day: the run ended (log)" wait_for 60 bash -c \
    "grep -qa 'end-of-day run ended: Backfill Done' '$root'/logs/tickvane-*.log"
eod_imports=$(tail -n +$((journal_before_eod + 1)) "$journal" | grep -F ',C:\Quorvix\dataFormatEod.dll)' || true)
check "end-of-day: the unpacked ICICIBANK.txt imported, with its lines, and nothing else" \
    awk -F'\t' 'END { exit !(NR == 1 && $2 == "Import(0,C:\\Quorvix\\Backfill\\ICICIBANK.txt,C:\\Quorvix\\dataFormatEod.dll)" && $3 > 0) }' \
        <<< "$eod_imports"
check "end-of-day: the Backfill folder left empty" \
    bash -c "[ -d '$root/Backfill' ] && [ -z \"\$(ls -A '$root/Backfill')\" ]"
echo "  end-of-day run:"
tail -n +$((requests_before_eod + 1)) "$requests" | grep -P '\teod\t' | sed 's/^/    /'
sed 's/^/    /' <<< "$eod_imports"
grep -ah 'end-of-day' "$root"/logs/tickvane-*.log | sed 's/^/    /'
close_tickvane

# Closed while the window's start-up still runs: with no selection the start-up asks for symbols
# in a message box, whose loop may dispatch the trader's close (taskkill: WM_CLOSE to the box and
# the window). The process must end either way.
wine reg delete "$settings" /v selectedSymbolsList /f >/dev/null 2>&1 || true
wine reg delete "$settings" /v corrExchList /f >/dev/null 2>&1 || true
start_tickvane early-close
if wait_for 90 bash -c "xdotool search --onlyvisible --name '^Select Symbols\$' >/dev/null"; then
    wine taskkill /IM Tickvane.exe >/dev/null 2>&1 || true
fi
check "closed during the start-up: the program ended" wait_for 60 bash -c "! kill -0 $tickvane_pid"
# One left running is ended here, so that the run goes on.
kill "$tickvane_pid" 2>/dev/null || true
wait "$tickvane_pid" 2>/dev/null || true
tickvane_pid=
# Which loop handles the window's close is Wine's message order: the box's, or the main one after it.
if grep -qa 'window closed during the start-up: no start-up backfill' "$root"/logs/tickvane-*.log; then
    echo "  (the close reached the window inside the start-up: no start-up backfill, the loop ended)"
else
    echo "  (the close reached the window after the start-up)"
fi
stop_vendor

# --- 3. Third start: the self-update ------------------------------------------------------------
start_vendor --latest-version 9.99
rm -f "$root/update-marker.txt"
start_tickvane update
# "A Latest Update is Available": the trader presses OK.
if wait_for 60 bash -c "xdotool search --name '^New Update$' >/dev/null 2>&1"; then
    # No window manager under Xvfb: focus the box directly, then the key reaches it.
    box=$(xdotool search --name '^New Update$' | head -1)
    xdotool windowfocus --sync "$box" key Return >/dev/null 2>&1 || true
fi
check "update: ZentorUpdator.bat ran under cmd (update-marker.txt)" \
    wait_for 60 test -f "$root/update-marker.txt"
check "update: the program ended itself" wait_for 30 bash -c "! kill -0 $tickvane_pid 2>/dev/null"
wait "$tickvane_pid" 2>/dev/null || true
tickvane_pid=
check "update: archive fetched from the vendor" grep -qP '\tupdate\t' "$requests"
stop_vendor

# Not exercised here: Wine's tasklist is a stub that lists nothing, so the single-instance count
# (a second Tickvane.exe refusing to start) cannot be seen under Wine.
echo "  not run: the single-instance count (Wine's tasklist lists no processes)"
if [ $failures -gt 0 ]; then
    echo "End to end under Wine: $failures check(s) failed; files in $work and $root"
    echo "--- journal tail:"; tail -20 "$journal" || true
    echo "--- program log tail:"; tail -30 "$root"/logs/tickvane-*.log || true
    exit 1
fi
echo "End to end under Wine: all checks passed"
