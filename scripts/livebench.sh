#!/usr/bin/env bash
# The live loop end to end at scale: the real program (offscreen) polls the local vendor for
# SYMBOLS made-up symbols for SECONDS and is measured from outside, beside one mawk process per
# tick filtering the same reply.
#   bash scripts/livebench.sh [SYMBOLS] [SECONDS]      (defaults 5000 and 60)
# Prints: the program's CPU per live tick (its task clock from perf where perf runs, to the
# microsecond; otherwise utime+stime of the process, in whole clock ticks of 10 ms), mawk's CPU per run on the same reply and symbols (start-up included), their ratio,
# and the median time from a live request leaving the program (its head reaching the vendor, on
# loopback) to the Import call (the automation journal) with the vendor's own time to answer taken
# out, in two parts: the request coming over whole and the reply leaving the vendor to the Import
# (the vendor's --answers log). BENCH_BUILD_DIR (default build) names the build, BENCH_DIR
# (default /tmp/tickvane-livebench) the folder the run is laid out in.
set -euo pipefail
cd "$(dirname "$0")/.."

symbols=${1:-5000}
seconds=${2:-60}
bin=$(cd "${BENCH_BUILD_DIR:-build}/bin" && pwd)
work=${BENCH_DIR:-/tmp/tickvane-livebench}
user=BENCH-USER
rm -rf "$work"
mkdir -p "$work"
# A trader with that many symbols, none of them backfilled at start.
source scripts/madeuptrader.sh
lay_out_made_up_trader "$work" "$symbols" NIFTY26DEC
root=$work/Quorvix

vendor_pid=
feed_pid=
cleanup() {
    for pid in $feed_pid $vendor_pid; do
        if kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
}
trap cleanup EXIT

"$bin/vendor-sim" --port 0 --db "sqlite:$work/vendor.db" --user "$user" --any-symbol \
    --answers "$work/answers.log" > "$work/vendor-sim.out" 2> "$work/vendor-sim.err" &
vendor_pid=$!
address=
for _ in $(seq 1 200); do
    address=$(sed -n 's/^vendor-sim listening on \(127\.0\.0\.1:[0-9]*\)$/\1/p' "$work/vendor-sim.out")
    [ -n "$address" ] && break
    kill -0 "$vendor_pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$address" ] || { echo "vendor-sim did not start:" >&2; cat "$work/vendor-sim.err" >&2; exit 1; }

journal=$root/automation.log
imports() { local n; n=$(grep -c -F "Import(0,$root/rtimport.txt," "$journal" 2>/dev/null) || true; echo "${n:-0}"; }
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

QT_QPA_PLATFORM=offscreen QUORVIX_ROOT=$root QUORVIX_DB=sqlite:$work/vendor.db QUORVIX_USER_ID=$user \
    QUORVIX_BACKFILL_SERVER=$address QUORVIX_PROBE=$address "$bin/tickvane" > "$work/tickvane.log" 2>&1 &
feed_pid=$!

# Start-up (catalogue, selection, first table) is not part of a tick: the window opens after
# the third import.
for _ in $(seq 1 1200); do
    [ "$(imports)" -ge 3 ] && break
    kill -0 "$feed_pid" 2>/dev/null || { echo "the feed ended early:" >&2; cat "$work/tickvane.log" >&2; exit 1; }
    sleep 0.1
done
cp "$root/rt.txt" "$work/reply.txt"
hz=$(getconf CLK_TCK)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
imports_start=$(imports)
cpu_start=$(cpu_ticks "$feed_pid")
# perf's task clock where it runs: 10 ms ticks are 0.17 ms a live tick over 40 s at 5,000 symbols.
perf_pid=
if command -v perf >/dev/null && perf stat -e task-clock -x, -o /dev/null -- true 2>/dev/null; then
    perf stat -e task-clock -x, -o "$work/taskclock.txt" -p "$feed_pid" &
    perf_pid=$!
fi
start=$(date +%s.%N)

# One mawk per tick beside it, on the same reply and symbols; only the mawk runs are timed.
TIMEFORMAT=%3U+%3S
end=$(awk -v s="$start" -v d="$seconds" 'BEGIN { printf "%.3f", s + d }')
: > "$work/awk.times"
while awk -v e="$end" -v now="$(date +%s.%N)" 'BEGIN { exit !(now < e) }'; do
    { time mawk -F, 'NR==FNR { s[$0]; next } ($2 in s)' "$work/symbols.txt" "$work/reply.txt" > "$work/awk.out" ; } \
        2>> "$work/awk.times"
    sleep 0.7
done
runs=$(wc -l < "$work/awk.times")
awk_total=$(awk -F+ '{ t += $1 + $2 } END { printf "%.3f", t }' "$work/awk.times")

cpu_end=$(cpu_ticks "$feed_pid")
imports_end=$(imports)
clock_source="utime+stime"
cpu=$(( (cpu_end - cpu_start) * 1000000 / hz ))
if [ -n "$perf_pid" ]; then
    kill -INT "$perf_pid"; wait "$perf_pid" || true
    task_ms=$(awk -F, '$3 == "task-clock" { print $1 }' "$work/taskclock.txt")
    if [ -n "$task_ms" ]; then
        cpu=$(awk -v m="$task_ms" 'BEGIN { printf "%d", m * 1000 }')
        clock_source="task clock"
    fi
fi
load_after=$(cut -d' ' -f1-3 /proc/loadavg)
ticks=$((imports_end - imports_start))
kill -TERM "$feed_pid"; wait "$feed_pid" || true; feed_pid=
kill -TERM "$vendor_pid"; wait "$vendor_pid" || true; vendor_pid=

# Milliseconds of the day from an ISO 8601 UTC time.
to_ms='function ms(t,  h, m, s) { h = substr(t, 12, 2); m = substr(t, 15, 2); s = substr(t, 18, 6); return (h * 3600 + m * 60 + s) * 1000 }'
# Per live answer: when it left, when its request's head and its whole had reached the vendor.
grep -P '\tlive\t200\t' "$work/answers.log" \
    | awk -F'\t' "$to_ms"' { print ms($1), ($5 == "" || $5 == "-") ? ms($1) : ms($5), ($6 == "" || $6 == "-") ? ms($1) : ms($6) }' \
    > "$work/answers.ms"
grep -F "Import(0,$root/rtimport.txt," "$journal" | awk -F'\t' "$to_ms"' { print ms($1) }' > "$work/imports.ms"
# Each Import with the answer nearest to it in time (ticks are 700 ms apart; the vendor may log its
# answer a moment after the feed has it). On loopback a request's head reaches the vendor as it
# leaves the program; the vendor's own time, from the whole request read to its answer gone, is
# not the program's and is taken out. Columns: the program's time from the request leaving to the
# Import, the request coming over whole, the vendor's time, the answer leaving to the Import.
awk 'BEGIN { n = 0; i = 0 } NR == FNR { a[n] = $1; h[n] = $2; r[n++] = $3; next }
     n { while (i + 1 < n && a[i + 1] - $1 <= $1 - a[i]) ++i
         print $1 - h[i] - (a[i] - r[i]), r[i] - h[i], a[i] - r[i], $1 - a[i] }' \
    "$work/answers.ms" "$work/imports.ms" > "$work/latency.ms"
summary() {
    cut -d' ' -f"$1" "$work/latency.ms" | sort -n \
        | awk '{ v[NR] = $1; t += $1 } END { if (NR) printf "%s %d %.2f", v[int((NR + 1) / 2)], NR, t / NR; else print "n/a 0 0" }'
}

awk -v ticks="$ticks" -v cpu="$cpu" -v source="$clock_source" -v runs="$runs" -v awk_t="$awk_total" \
    -v request="$(summary 1)" -v upload="$(summary 2)" -v vendor="$(summary 3)" -v reply="$(summary 4)" \
    -v sym="$symbols" -v bytes="$(wc -c < "$work/reply.txt")" -v lb="$load_before" -v la="$load_after" 'BEGIN {
    feed = ticks ? cpu / 1000 / ticks : 0
    awk_ms = runs ? awk_t * 1000 / runs : 0
    printf "symbols %d, reply %d bytes, load before %s, after %s\n", sym, bytes, lb, la
    printf "program CPU per tick: %.2f ms over %d ticks (%s)\n", feed, ticks, source
    printf "mawk CPU per run:     %.2f ms over %d runs (start-up included)\n", awk_ms, runs
    printf "ratio program / mawk: %.2f\n", (awk_ms > 0 ? feed / awk_ms : 0)
    # The logs have whole milliseconds: the mean of the differences is the finer figure.
    split(request, q, " "); split(upload, u, " "); split(vendor, v, " "); split(reply, m, " ")
    printf "request leaving the program to Import, less the vendor'"'"'s time: median %s ms, mean %.2f ms over %d ticks\n", q[1], q[3], q[2]
    printf "  the request coming over whole: median %s ms, mean %.2f ms\n", u[1], u[3]
    printf "  reply leaving the vendor to Import: median %s ms, mean %.2f ms\n", m[1], m[3]
    printf "the vendor'"'"'s time (whole request read to answer gone): median %s ms, mean %.2f ms\n", v[1], v[3]
}'
