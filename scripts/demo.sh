#!/usr/bin/env bash
# Runs the feed against the local vendor on 127.0.0.1 with a fresh install folder and settings store.
# With a display the window opens and stays until you close it. Without one the feed runs under
# Xvfb for DEMO_SECONDS (default 30), docs/screenshot.png is taken and the feed is ended with SIGTERM.
# Either way a short summary follows. The set-up installs only the demo's tier of packages
# (scripts/setup.sh) and builds the feed and vendor-sim into DEMO_BUILD_DIR (default build/);
# DEMO_SKIP_SETUP=1 runs an existing build there.
# DEMO_OUTAGE=1: the local vendor's live endpoint fails for 70 s from 20 s after the start, so the
# feed-health indicator goes stale, then down, and a one-day gap backfill follows the recovery;
# without a display the run lasts 120 s and docs/screenshot-outage.png and
# docs/screenshot-recovered.png are taken as well.
# DEMO_SYMBOLS=N selects N made-up symbols instead (the local vendor answers them all), e.g. 5000.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DEMO_SKIP_SETUP:-}" ]; then
    SETUP_TIERS=demo SETUP_BUILD_DIR=${DEMO_BUILD_DIR:-build} SETUP_TARGETS="tickvane vendor-sim" bash scripts/setup.sh
fi
bin=$(cd "${DEMO_BUILD_DIR:-build}/bin" && pwd)

demo=${DEMO_DIR:-/tmp/tickvane-demo}
outage=${DEMO_OUTAGE:-}
if [ -n "$outage" ]; then seconds=${DEMO_SECONDS:-120}; else seconds=${DEMO_SECONDS:-30}; fi
user=DEMO-USER
title="Tickvane $(sed -n 's/^project(Tickvane VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt) M"
rm -rf "$demo"
mkdir -p "$demo"
root=$demo/Quorvix

# The install folder as an installation lays it: format files and AmiBroker database templates.
mkdir -p "$root"
cp -r install/. "$root/"

# A trader who has used the feed before: a selection to restore and the FUTURE box chosen. Its
# last contract expired; the vendor answers it with an error line and the table mutes its row.
export XDG_CONFIG_HOME=$demo/config
mkdir -p "$XDG_CONFIG_HOME/Quorvix Company"
if [ -n "${DEMO_SYMBOLS:-}" ]; then
    # Or one with that many symbols, made up and answered all the same; no start-up backfill of
    # them all. The vendor logs its answers rather than the requests, each as long as the list.
    vendor_log=(--any-symbol --answers "$demo/requests.log")
    cat > "$XDG_CONFIG_HOME/Quorvix Company/Quorvix.conf" <<EOF
[General]
selectedSymbolsList=$(awk -v n="$DEMO_SYMBOLS" 'BEGIN { for (i = 0; i < n; ++i) printf "%sNIFTY26DEC%dCE", (i ? ", " : ""), 10000 + i }')
corrExchList=$(awk -v n="$DEMO_SYMBOLS" 'BEGIN { for (i = 0; i < n; ++i) printf "%sCASH", (i ? ", " : "") }')
checkbox0=true
disableAutoBackfill5=true
Data%20Mode=2
fastBackfill=true
saveLayout=false
controlAmibroker=false
EOF
else
    vendor_log=(--record "$demo/requests.log")
    cat > "$XDG_CONFIG_HOME/Quorvix Company/Quorvix.conf" <<'EOF'
[General]
selectedSymbolsList=BANKNIFTY-I, CRUDEOIL-I, GOLDM-I, NIFTY25NOVFUT, SILVERM-I, USDINR-I, INDIAVIX, ICICIBANK, NIFTY-I
corrExchList=FUTURE, MCX, MCX, FUTURE, MCX, CURRENCY, SPOTINDEX, CASH, FUTURE
checkbox1=true
disableAutoBackfill5=false
Data%20Mode=2
fastBackfill=true
saveLayout=false
controlAmibroker=false
EOF
fi
export XDG_RUNTIME_DIR=$demo/runtime
mkdir -m 0700 -p "$XDG_RUNTIME_DIR"

vendor_pid=
cleanup() {
    if [ -n "$vendor_pid" ] && kill -0 "$vendor_pid" 2>/dev/null; then
        kill -TERM "$vendor_pid" 2>/dev/null || true
        wait "$vendor_pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT

outage_args=()
[ -n "$outage" ] && outage_args=(--outage 20:70)
"$bin/vendor-sim" --port 0 --db "sqlite:$demo/vendor.db" --user "$user" "${outage_args[@]}" \
    "${vendor_log[@]}" > "$demo/vendor-sim.out" 2> "$demo/vendor-sim.err" &
vendor_pid=$!
address=
for _ in $(seq 1 200); do
    address=$(sed -n 's/^vendor-sim listening on \(127\.0\.0\.1:[0-9]*\)$/\1/p' "$demo/vendor-sim.out")
    [ -n "$address" ] && break
    kill -0 "$vendor_pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$address" ]; then
    echo "vendor-sim did not start:" >&2
    cat "$demo/vendor-sim.err" >&2
    exit 1
fi
echo "Local vendor listening on $address"

export QUORVIX_ROOT=$root
export QUORVIX_DB=sqlite:$demo/vendor.db
export QUORVIX_USER_ID=$user
export QUORVIX_BACKFILL_SERVER=$address
export QUORVIX_PROBE=$address
export DEMO_DIR_INNER=$demo DEMO_SECONDS_INNER=$seconds DEMO_TITLE=$title DEMO_BIN=$bin DEMO_OUTAGE_INNER=$outage

# Inside the Xvfb session: run the feed, take the picture of its window, end it as a trader would.
run_headless() {
    "$DEMO_BIN/tickvane" > "$DEMO_DIR_INNER/tickvane.log" 2>&1 &
    local pid=$!
    shot() {
        import -window "$DEMO_TITLE" "$DEMO_DIR_INNER/$1" 2>/dev/null \
            || import -window root "$DEMO_DIR_INNER/$1" 2>/dev/null || true
    }
    if [ -n "$DEMO_OUTAGE_INNER" ]; then
        # 85 s: a minute and more into the outage ("Down 1 min"); 105 s: recovered, gap backfilled.
        sleep 85; shot screenshot-outage.png
        sleep 20; shot screenshot-recovered.png
        sleep $(( DEMO_SECONDS_INNER > 105 ? DEMO_SECONDS_INNER - 105 : 0 ))
    else
        sleep "$DEMO_SECONDS_INNER"
    fi
    shot screenshot.png
    kill -TERM "$pid" 2>/dev/null || true
    local status=0
    wait "$pid" || status=$?
    echo "$status" > "$DEMO_DIR_INNER/tickvane.status"
}

status=0
if [ -n "${DISPLAY:-}" ]; then
    echo "Starting Tickvane on $DISPLAY; close its window to end the demo."
    "$bin/tickvane" || status=$?
else
    echo "No display: running Tickvane under Xvfb for $seconds s."
    # xvfb-run is a POSIX sh script, which drops exported bash functions: pass the text instead.
    xvfb-run -a -s "-screen 0 1280x800x24" bash -c "$(declare -f run_headless); run_headless"
    status=$(cat "$demo/tickvane.status" 2>/dev/null || echo "unknown")
    mkdir -p docs
    for picture in screenshot.png screenshot-outage.png screenshot-recovered.png; do
        [ -s "$demo/$picture" ] && cp "$demo/$picture" "docs/$picture"
    done
fi
cleanup
vendor_pid=

# What happened, from the files the feed and the vendor left behind.
journal=$root/automation.log
requests=$demo/requests.log
count() { grep -c "$@" 2>/dev/null || true; }
live_requests=$(count -P '\tlive\t' "$requests")
backfill_requests=$(count -P '\tbackfill\t' "$requests")
live_imports=$(count -F "Import(0,$root/rtimport.txt," "$journal")
backfill_imports=$(count -F ",$root/dataFormat.dll)" "$journal")
saved=$(count -F 'SaveDatabase()' "$journal")
selection=$(sed -n 's/^selectedSymbolsList=//p' "$XDG_CONFIG_HOME/Quorvix Company/Quorvix.conf")
if [ -n "${DEMO_SYMBOLS:-}" ]; then selection="$DEMO_SYMBOLS made-up symbols"; fi
if [ "${live_requests:-0}" -gt 0 ]; then account="found (live feed started for $user)"; else account="not found"; fi

echo
echo "Tickvane demo summary"
echo "  account $user:            $account"
echo "  symbols selected:          ${selection:-none}"
echo "  live requests answered:    ${live_requests:-0}"
echo "  live replies imported:     ${live_imports:-0} (Import of rtimport.txt in automation.log)"
echo "  backfill requests made:    ${backfill_requests:-0} (imported: ${backfill_imports:-0})"
if [ -n "$outage" ]; then
    gap_requests=$(grep -cP '\tbackfill\t.*[?&]?d=1&' "$requests" 2>/dev/null || true)
    echo "  outage:                    live endpoint failed for 70 s; one-day gap backfill requests: ${gap_requests:-0}"
fi
echo "  AmiBroker database saved on close: $([ "${saved:-0}" -gt 0 ] && echo yes || echo no)"
echo "  exit status:               $status"
if [ -z "${DISPLAY:-}" ]; then
    if [ -s docs/screenshot.png ]; then
        echo "  screenshot:                docs/screenshot.png"
    else
        echo "  screenshot:                none taken"
    fi
fi
echo "  files: $root (rt.txt, rtimport.txt, automation.log), vendor requests: $requests"
