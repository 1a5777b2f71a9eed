#!/usr/bin/env bash
# A long run of the real program (offscreen) against the local vendor and the stand-in AmiBroker,
# with faults made from outside in a cycle: vendor outages of 20-80 s (the vendor gone), HTTP 500,
# garbage and truncated replies, held requests, AmiBroker gone (automation.down) or refusing
# imports (automation.importfails), an import file that cannot be written (a folder in its place:
# the program runs as root here, so no file mode stops it), and a gap backfill caught by an outage.
#   bash scripts/soak.sh MINUTES
# SOAK_BUILD_DIR (default build) names the build; a sanitizer build's reports count as crashes.
# SOAK_DIR (default /tmp/tickvane-soak-<build>) is where the run is laid out and kept;
# SOAK_SYMBOLS (default 100) the size of the selection; SOAK_SEED makes the outage lengths repeat.
# Prints: crashes, imports per healthy minute, RSS growth, imported lines outside the selection,
# the gap backfills against the outages of 60 s or more, and each indicator state seen (as the
# program's rules make it from its log) beside the faults that truly held then.
set -euo pipefail
cd "$(dirname "$0")/.."

# The figures, from the files a run leaves in its folder: the fault schedule, the program's log and
# journal, the vendor's request and answer logs, the copies of the import files and the RSS samples.
# Indicator states are rebuilt second by second with the program's own rules (FeedHealth::report)
# from what it logged: the replies' condition, the AmiBroker link and the import file, and the
# vendor's live answers while the condition was good.
report() {
    local dir=$1 logs status
    logs=$(cat "$dir"/Quorvix/logs/tickvane-*.log 2>/dev/null | wc -l)
    status=$(awk -F'\t' '$1 == "status" { print $2 }' "$dir/run.txt")
    printf 'soak of %s for %s min (outage lengths from seed %s), %s log lines\n' \
        "$(awk -F'\t' '$1 == "build" { print $2 }' "$dir/run.txt")" \
        "$(awk -F'\t' '$1 == "minutes" { print $2 }' "$dir/run.txt")" \
        "$(awk -F'\t' '$1 == "seed" { print $2 }' "$dir/run.txt")" "$logs"

    # Crashes: an end before the program was told to close, any status but 0 after SIGTERM, each
    # sanitizer report.
    local reports=0 crashes=0
    for f in "$dir"/sanitizer/* "$dir/tickvane.out"; do
        [ -f "$f" ] || continue
        if grep -q -E 'ERROR: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:|SUMMARY: [A-Za-z]*Sanitizer' "$f"; then
            reports=$((reports + 1))
            echo "sanitizer report: $f"
            grep -m 3 -E 'ERROR:|runtime error:|SUMMARY:' "$f" | sed 's/^/    /'
        fi
    done
    [ "$status" = 0 ] || crashes=1
    crashes=$((crashes + reports))
    printf 'crashes: %d (status after SIGTERM: %s; sanitizer reports: %d)\n' "$crashes" "$status" "$reports"
    if grep -q -E 'Sanitizer|runtime error:' "$dir/vendor-sim.err" 2>/dev/null; then
        echo "vendor-sim itself reported a sanitizer error: see $dir/vendor-sim.err"
    fi

    # Every line of every import file handed to AmiBroker: a quote line of a selected symbol.
    awk -F, 'NR == FNR { selected[$0] = 1; next }
        /^#\t/ { split($0, h, "\t"); ++files; checking = (h[3] == h[4]); if (checking) ++checked; delete seen; next }
        !checking { next }
        { ++lines; sub(/\r$/, "")
          ok = NF == 8 && ($2 in selected) && !($2 in seen) && $3 ~ /^[0-9]{8}$/ && $4 ~ /^[0-9][0-9]:[0-9][0-9]:[0-9][0-9]$/
          for (i = 5; ok && i <= 8; ++i) ok = $i ~ /^-?[0-9]+(\.[0-9]+)?$/
          seen[$2] = 1
          if (!ok) { ++bad; if (bad <= 5) printf "    bad line in import %d: %s\n", h[2], $0 > "/dev/stderr" } }
        END { printf "imported lines not in a good reply'"'"'s selection: %d (of %d lines in %d import files checked, %d more raced the next tick)\n", bad, lines, checked, files - checked }' \
        "$dir/symbols.txt" "$dir/imported.txt" 2>&1

    # One stream of timed events, in milliseconds since the epoch.
    {
        awk -F'\t' '{ print $1 "\tF\t" $2 "\t" $3 }' "$dir/faults.log"
        gawk -F'\t' 'function ms(t) { return mktime(substr(t, 1, 4) " " substr(t, 6, 2) " " substr(t, 9, 2) " " substr(t, 12, 2) " " substr(t, 15, 2) " " substr(t, 18, 2), 1) * 1000 + substr(t, 21, 3) }
            FILENAME ~ /automation.log$/ { print ms($1) "\tJ\t" $2 "\t" $3; next }
            FILENAME ~ /answers.log$/ { print ms($1) "\tA\t" $2 "\t" $3; next }
            FILENAME ~ /requests.log$/ { print ms($1) "\tR\t" $2; next }
            { print ms($0) "\tL\t" substr($0, 25) }' \
            "$dir/Quorvix/automation.log" "$dir/answers.log" "$dir/requests.log" "$dir"/Quorvix/logs/tickvane-*.log
        awk -F'\t' '{ print $1 "\tM\t" $2 }' "$dir/rss.log"
    } | sort -s -n -k1,1 > "$dir/events.tsv"

    gawk -F'\t' -v root="$dir/Quorvix" '
    function clock(t) { return sprintf("+%02d:%02d", int((t - start) / 60000), int((t - start) / 1000) % 60) }
    function vendorFault(f) { return f ~ /^vendor-/ }
    function faults(   f, s) { s = ""; for (f in active) if (active[f]) s = s (s == "" ? "" : "+") f; return s == "" ? "none" : s }
    # Seconds since a fault of the class was last on (0 while one is).
    function quietFor(cls, t,   f, q) { q = 1e12
        for (f in active) if (cls == "V" && vendorFault(f) || cls == f) q = (active[f] ? 0 : ((t - offAt[f]) < q ? t - offAt[f] : q))
        return q }
    function heldFor(cls, t,   f, h) { h = -1
        for (f in active) if (active[f] && (cls == "V" && vendorFault(f) || cls == f)) h = (t - onAt[f] > h ? t - onAt[f] : h)
        return h }
    function apply(i,   text) {
        if (k[i] == "F") {
            if (v[i] == "run") { if (w[i] == "start") start = t[i]; return }
            active[v[i]] = (w[i] == "on")
            if (w[i] == "on") { onAt[v[i]] = t[i]; windows[++nw] = v[i]; wstart[nw] = t[i] }
            else { offAt[v[i]] = t[i]; for (j = nw; j > 0; --j) if (windows[j] == v[i] && !(j in wend)) { wend[j] = t[i]; break } }
            return
        }
        if (k[i] == "A") { if (v[i] == "live" && w[i] == "200" && cond == "Good") lastGood = t[i]; return }
        if (k[i] == "J") {
            if (index(v[i], "Import(0," root "/rtimport.txt,") == 1 && w[i] ~ /^[0-9]+$/) importAt[++nimports] = t[i]
            return
        }
        if (k[i] == "R") { if (v[i] == "backfill") backfillAt[++nbackfill] = t[i]; return }
        if (k[i] == "M") { if (t[i] - start >= 60000) { if (!rssFirst) rssFirst = v[i]; rssLast = v[i]; if (v[i] + 0 > rssMax) rssMax = v[i] + 0; rss[++nrss] = v[i] } return }
        text = v[i]
        if (text ~ /live replies failing/) cond = "Failing"
        else if (text ~ /live replies recovered/) { cond = "Good"; lastGood = t[i] }
        else if (text ~ /the vendor refused the live request/) cond = "Refused"
        else if (text ~ /live replies hold no quote/) cond = "NoQuotes"
        else if (text ~ /AmiBroker link lost|AmiBroker not reachable at start/) linkUp = 0
        else if (text ~ /AmiBroker link restored/) linkUp = 1
        else if (text ~ /the import file .* could not be written/) fileOk = 0
        else if (text ~ /the import file is written again/) fileOk = 1
        else if (text ~ /gap backfill after (the|an) outage/) { gapV[++ngv] = t[i]; gapVText[ngv] = text }
        else if (text ~ /gap backfill after [0-9]+ s without a live import/) { gapA[++nga] = t[i]; gapAText[nga] = text }
        else if (text ~ /trader notified/) notes[++nnotes] = clock(t[i]) " " text
    }
    function indicator(s,   age, parts, n, u, order, i, j, label, tmp) {
        age = s - (lastGood ? lastGood : start)
        n = 0
        if (cond == "Refused") { parts[++n] = "Vendor refused"; u[n] = 1 }
        else if (cond == "NoQuotes" && age >= 3000) { parts[++n] = "No quotes"; u[n] = (age >= 60000 ? 0 : 4) }
        else if (age >= 60000) { parts[++n] = "Down"; u[n] = 0 }
        else if (age >= 3000) { parts[++n] = "Stale"; u[n] = 5 }
        if (!linkUp) { parts[++n] = "AmiBroker not reachable"; u[n] = 2 }
        if (!fileOk) { parts[++n] = "Import file not written"; u[n] = 3 }
        if (n == 0) return lastGood ? "Live" : "Waiting"
        for (i = 1; i <= n; ++i) for (j = i + 1; j <= n; ++j) if (u[j] < u[i]) { tmp = u[i]; u[i] = u[j]; u[j] = tmp; tmp = parts[i]; parts[i] = parts[j]; parts[j] = tmp }
        label = parts[1]; for (i = 2; i <= n; ++i) label = label " + " parts[i]
        return label
    }
    { t[NR] = $1 + 0; k[NR] = $2; v[NR] = $3; w[NR] = $4
      if ($2 == "F" && $3 == "run") { if ($4 == "start") start = $1 + 0; else stop = $1 + 0 } }
    END {
        n = NR; cond = "Good"; linkUp = 1; fileOk = 1; grace = 10000
        i = 1
        print "indicator (as the program'"'"'s rules make it from its log) and the faults that truly held, second by second:"
        printf "  %-7s %6s  %-45s %s\n", "from", "secs", "indicator", "faults"
        for (s = start; s <= stop; s += 1000) {
            while (i <= n && t[i] <= s) apply(i++)
            label = indicator(s); f = faults()
            shown["V"] = label ~ /Down|Stale|No quotes|Vendor refused/; shown["amibroker-down"] = label ~ /AmiBroker/
            shown["importfile-blocked"] = label ~ /Import file/
            wrong = ""
            for (c in shown) {
                h = heldFor(c, s)
                if (h >= grace && !shown[c]) wrong = wrong " missed:" c
                if (shown[c] && h < 0 && quietFor(c, s) >= grace && !(c == "V" && label == "Waiting")) wrong = wrong " false:" c
            }
            if (wrong != "") { ++wrongSecs; wrongWhat[wrong]++ }
            key = label "|" f
            if (key != runKey) {
                if (runKey != "") printf "  %-7s %6d  %-45s %s%s\n", clock(runFrom), (s - runFrom) / 1000, runLabel, runFaults, runWrong
                runKey = key; runFrom = s; runLabel = label; runFaults = f; runWrong = ""
            }
            if (wrong != "" && index(runWrong, wrong) == 0) runWrong = runWrong "  !" wrong
            pair[label " | " f] += 1
            healthy = (f == "none") && s - start >= grace
            for (g in offAt) if (s - offAt[g] < grace) healthy = 0
            if (healthy) { ++healthySecs; inHealthy[int(s / 1000)] = 1 }
        }
        if (runKey != "") printf "  %-7s %6d  %-45s %s%s\n", clock(runFrom), (stop - runFrom) / 1000, runLabel, runFaults, runWrong
        while (i <= n) apply(i++)
        print "indicator states seen, seconds by the faults that held:"
        for (p in pair) printf "  %-70s %5d s\n", p, pair[p] | "sort"
        close("sort")
        printf "indicator disagreeing with the faults (%d s of grace): %d s\n", grace / 1000, wrongSecs
        for (x in wrongWhat) printf "  %s: %d s\n", x, wrongWhat[x]

        for (j = 1; j <= nimports; ++j) if (int(importAt[j] / 1000) in inHealthy) ++healthyImports
        printf "imports per healthy minute: %.1f (%d imports in %.1f min without a fault, %d s after each; %d imports in all)\n",
            healthySecs ? healthyImports * 60 / healthySecs : 0, healthyImports, healthySecs / 60, grace / 1000, nimports

        if (nrss) printf "RSS: %.1f MB after the first minute, %.1f MB at the end, peak %.1f MB; growth %+.1f MB (%+.1f MB over the second half)\n",
            rssFirst / 1024, rssLast / 1024, rssMax / 1024, (rssLast - rssFirst) / 1024, (rssLast - rss[int((nrss + 1) / 2)]) / 1024

        # Each long fault against the gap backfill it should start, and the one it should not.
        expected = 0; started = 0; unexpected = 0
        print "gap backfills against the outages (vendor) and AmiBroker holes:"
        for (j = 1; j <= nw; ++j) {
            f = windows[j]
            if (!(vendorFault(f) || f == "amibroker-down") || !(j in wend)) continue
            len = (wend[j] - wstart[j]) / 1000
            # The hole runs from the last good reply (or import) to the first after; AmiBroker is tried every 5 s.
            lo = (f == "amibroker-down" ? 54 : 59); hi = 60.5
            want = len >= hi ? "yes" : (len < lo ? "no" : "either")
            got = ""
            if (f == "amibroker-down") { for (g = 1; g <= nga; ++g) if (gapA[g] >= wstart[j] && gapA[g] <= wend[j] + 15000) { got = gapA[g]; usedA[g] = 1 } }
            else { for (g = 1; g <= ngv; ++g) if (gapV[g] >= wend[j] - 2000 && gapV[g] <= wend[j] + 15000) { got = gapV[g]; usedV[g] = 1 } }
            if (want == "no" && got == "") continue
            asked = 0
            if (got != "") for (b = 1; b <= nbackfill; ++b) if (backfillAt[b] >= got && backfillAt[b] <= got + 120000) ++asked
            if (want == "yes") { ++expected; if (got != "") ++started }
            if (want == "no" && got != "") ++unexpected
            printf "  %s %-16s %3d s  backfill wanted: %-6s started: %s\n", clock(wstart[j]), f, len, want,
                got == "" ? "no" : sprintf("%s, %d backfill requests in the 2 min after", clock(got), asked)
        }
        for (g = 1; g <= ngv; ++g) if (!(g in usedV)) { ++unexpected; printf "  %s unmatched: %s\n", clock(gapV[g]), gapVText[g] }
        for (g = 1; g <= nga; ++g) if (!(g in usedA)) { ++unexpected; printf "  %s unmatched: %s\n", clock(gapA[g]), gapAText[g] }
        printf "gap backfills started against outages of 60 s or more: %d of %d (%d without such an outage)\n", started, expected, unexpected
        if (nnotes) { print "trader notifications:"; for (j = 1; j <= nnotes; ++j) print "  " notes[j] }
    }' "$dir/events.tsv"
}
if [ "${1:-}" = --report ]; then
    report "${2:?usage: scripts/soak.sh --report SOAK_DIR}"
    exit
fi
minutes=${1:?usage: scripts/soak.sh MINUTES}
build=${SOAK_BUILD_DIR:-build}
bin=$(cd "$build/bin" && pwd)
work=${SOAK_DIR:-/tmp/tickvane-soak-$(basename "$build")}
symbols=${SOAK_SYMBOLS:-100}
seed=${SOAK_SEED:-$$}
RANDOM=$seed
user=SOAK-USER
# The program's log is in local time; one zone for every log keeps the join simple.
export TZ=UTC

rm -rf "$work"
mkdir -p "$work/sanitizer"
source scripts/madeuptrader.sh
lay_out_made_up_trader "$work" "$symbols" SOAK backfillAfterOutage=true
root=$work/Quorvix
journal=$root/automation.log
schedule=$work/faults.log
: > "$schedule"

sanitized=false
if grep -q '^TICKVANE_SANITIZERS:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    sanitized=true
    # As the tests run them, with every report kept in a file of its own.
    export ASAN_OPTIONS="detect_leaks=1:fast_unwind_on_malloc=0:malloc_context_size=8:log_path=$work/sanitizer/asan"
    export LSAN_OPTIONS="suppressions=$PWD/tests/sanitizer/lsan.supp:print_suppressions=0"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$work/sanitizer/ubsan"
fi

now_ms() { date +%s%3N; }
mark() { printf '%s\t%s\t%s\n' "$(now_ms)" "$1" "$2" >> "$schedule"; }

vendor_pid=
feed_pid=
copier_pid=
sampler_pid=
port=0
vendor_stop() {
    [ -n "$vendor_pid" ] || return 0
    kill -TERM "$vendor_pid" 2>/dev/null || true
    # Held requests may keep it a moment; the port must come free for the next one.
    for _ in $(seq 1 30); do kill -0 "$vendor_pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$vendor_pid" 2>/dev/null || true
    wait "$vendor_pid" 2>/dev/null || true
    vendor_pid=
}
# The vendor with extra options, on the one port the program knows (it reads its addresses once).
vendor_start() {
    local before tries
    before=$(grep -c '^vendor-sim listening on' "$work/vendor-sim.out" 2>/dev/null) || before=0
    for tries in 1 2 3 4 5 6 7 8 9 10; do
        # The program alone is under watch: the vendor's own sanitizer reports go to its stderr.
        env -u ASAN_OPTIONS -u LSAN_OPTIONS -u UBSAN_OPTIONS "$bin/vendor-sim" --port "$port" --user "$user" --any-symbol --record "$work/requests.log" \
            --answers "$work/answers.log" "$@" >> "$work/vendor-sim.out" 2>> "$work/vendor-sim.err" &
        vendor_pid=$!
        for _ in $(seq 1 100); do
            [ "$(grep -c '^vendor-sim listening on' "$work/vendor-sim.out")" -gt "$before" ] && return 0
            kill -0 "$vendor_pid" 2>/dev/null || break
            sleep 0.05
        done
        wait "$vendor_pid" 2>/dev/null || true
        vendor_pid=
        sleep 0.5
    done
    echo "vendor-sim did not start:" >&2; tail -5 "$work/vendor-sim.err" >&2
    return 1
}
vendor_as() { vendor_stop; vendor_start "$@"; }

cleanup() {
    for pid in $sampler_pid $copier_pid $feed_pid; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    vendor_stop
    rmdir "$root/rtimport.txt" 2>/dev/null || true
}
trap cleanup EXIT

vendor_start --db "sqlite:$work/vendor.db"
address=$(sed -n 's/^vendor-sim listening on \(127\.0\.0\.1:[0-9]*\)$/\1/p' "$work/vendor-sim.out" | head -1)
port=${address##*:}

QT_QPA_PLATFORM=offscreen QUORVIX_ROOT=$root QUORVIX_DB=sqlite:$work/vendor.db QUORVIX_USER_ID=$user \
    QUORVIX_BACKFILL_SERVER=$address QUORVIX_PROBE=$address "$bin/tickvane" > "$work/tickvane.out" 2>&1 &
feed_pid=$!
started=$(now_ms)
mark run start

# Every live import file as AmiBroker was handed it, copied the moment the journal names it; the
# journal's line count tells a copy that raced the next tick.
touch "$journal"
(
    n=0
    tail -n 0 -F --pid="$feed_pid" "$journal" 2>/dev/null | while IFS=$'\t' read -r _ method detail; do
        case $method in
        "Import(0,$root/rtimport.txt,"*)
            [[ $detail =~ ^[0-9]+$ ]] || continue
            n=$((n + 1))
            if cp "$root/rtimport.txt" "$work/copy.txt" 2>/dev/null; then
                printf '#\t%d\t%s\t%s\n' "$n" "$detail" "$(grep -c '' "$work/copy.txt")"
                cat "$work/copy.txt"
            fi
            ;;
        esac
    done
) > "$work/imported.txt" &
copier_pid=$!
(
    while sleep 5; do
        rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$feed_pid/status" 2>/dev/null) || break
        [ -n "$rss" ] || break
        printf '%s\t%s\n' "$(now_ms)" "$rss"
    done
) > "$work/rss.log" &
sampler_pid=$!

end=$((started + minutes * 60000))
crashed=false
# Sleeps while the program lives and the run has time left; false ends the cycle.
hold() {
    local until=$(( $(now_ms) + $1 * 1000 ))
    while [ "$(now_ms)" -lt "$until" ]; do
        if ! kill -0 "$feed_pid" 2>/dev/null; then crashed=true; return 1; fi
        [ "$(now_ms)" -lt "$end" ] || return 1
        sleep 0.5
    done
}
between() { echo $(( $1 + RANDOM % ($2 - $1 + 1) )); }

vendor_fault() {   # name, seconds, vendor-sim options
    local name=$1 seconds=$2
    shift 2
    if [ "$name" = vendor-down ]; then vendor_stop; else vendor_as "$@"; fi
    mark "$name" on
    local held=0
    hold "$seconds" || held=1
    if [ "$name" = vendor-down ]; then vendor_start; else vendor_as; fi
    mark "$name" off
    return $held
}
file_fault() {     # name, seconds, file in the install folder
    touch "$root/$3"; mark "$1" on
    local held=0
    hold "$2" || held=1
    rm -f "$root/$3"; mark "$1" off
    return $held
}
import_file_fault() {
    rm -f "$root/rtimport.txt"; mkdir "$root/rtimport.txt"; mark importfile-blocked on
    local held=0
    hold "$1" || held=1
    rmdir "$root/rtimport.txt"; mark importfile-blocked off
    return $held
}
# A gap backfill starts after a long outage and is held by the vendor; the vendor then goes away
# under it, and comes back whole.
backfill_in_outage() {
    vendor_stop; mark vendor-down on
    hold 65 || return 1
    vendor_start --misbehave backfill=hang; mark vendor-down off; mark backfill-held on
    hold 8 || return 1
    vendor_stop; mark vendor-down on
    hold "$(between 20 30)" || return 1
    vendor_start; mark vendor-down off; mark backfill-held off
}

cycle() {
    hold 60 &&
    vendor_fault vendor-down "$(between 20 80)" && hold 30 &&
    vendor_fault vendor-500 30 --misbehave live=error && hold 20 &&
    vendor_fault vendor-garbage 20 --misbehave live=garbage && hold 20 &&
    vendor_fault vendor-truncated 20 --misbehave live=truncated && hold 20 &&
    vendor_fault vendor-hang 30 --misbehave live=hang && hold 30 &&
    file_fault amibroker-down "$(between 20 80)" automation.down && hold 30 &&
    import_file_fault 30 && hold 30 &&
    file_fault amibroker-refuses 20 automation.importfails && hold 30 &&
    backfill_in_outage && hold 40 &&
    file_fault amibroker-down 65 automation.down && hold 20
}
while [ "$(now_ms)" -lt "$end" ] && ! $crashed; do
    cycle || true
done
# Whatever was on when the time ran out is put right before the program is closed.
rm -f "$root/automation.down" "$root/automation.importfails"
rmdir "$root/rtimport.txt" 2>/dev/null || true
[ -n "$vendor_pid" ] || vendor_start
[ "$(tail -n 1 "$schedule" | cut -f3)" != on ] || mark "$(tail -n 1 "$schedule" | cut -f2)" off
awk -F'\t' '{ on[$2] = ($3 == "on") } END { for (f in on) if (on[f] && f != "run") print f }' "$schedule" |
    while read -r f; do mark "$f" off; done
hold 5 || true
mark run end

status=none
if kill -0 "$feed_pid" 2>/dev/null; then
    kill -TERM "$feed_pid"
    for _ in $(seq 1 600); do kill -0 "$feed_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$feed_pid" 2>/dev/null; then status=hung; kill -KILL "$feed_pid"; fi
fi
wait "$feed_pid" 2>/dev/null && rc=0 || rc=$?
[ "$status" = hung ] || status=$rc
$crashed && status="died during the run ($rc)"
feed_pid=
kill -TERM "$sampler_pid" 2>/dev/null || true
# The copier's tail ends with the program.
wait "$sampler_pid" "$copier_pid" 2>/dev/null || true
sampler_pid= copier_pid=
vendor_stop

printf 'status\t%s\nsanitized\t%s\nseed\t%s\nbuild\t%s\nminutes\t%s\n' "$status" "$sanitized" "$seed" "$build" \
    "$minutes" > "$work/run.txt"
report "$work"
