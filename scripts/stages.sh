# shellcheck shell=bash
# The test command's stages: each one passed, failed or skipped (with the reason) and its time,
# kept one line a stage in the file $TICKVANE_STAGES so that the scripts the test command calls
# (scripts/setup.sh, scripts/wintest.sh) add theirs to the same table. Sourced, not run.
#   stage_run KEY TITLE COMMAND...   runs COMMAND with errexit, records passed or failed
#   stage_skip KEY TITLE REASON      prints one line "skipped: TITLE: REASON", records it
#   stage_record KEY TITLE RESULT SECONDS [NOTE]
#   stage_result KEY / stage_note KEY   what a stage came to (empty if it has not run)
#   stages_table                     the table; fails if any stage failed
#   stages_begin / stages_end / stages_discard   the outermost script's file and table

# Called once by the outermost script: the others find the file through the environment.
stages_begin() {
    if [ -z "${TICKVANE_STAGES:-}" ]; then
        TICKVANE_STAGES=$(mktemp /tmp/tickvane-stages.XXXXXX)
        export TICKVANE_STAGES
        stages_own=1
        stages_started=$(date +%s)
    fi
}

stage_record() { # KEY TITLE RESULT SECONDS [NOTE]
    [ -n "${TICKVANE_STAGES:-}" ] || return 0
    # One stage a line: a tab or a line break in a note would split it.
    printf '%s\t%s\t%s\t%s\t%s\n' "$1" "$2" "$3" "$4" "$(printf '%s' "${5:-}" | tr '\t\n' '  ')" >> "$TICKVANE_STAGES"
}

stage_run() { # KEY TITLE COMMAND...: COMMAND's exit status
    local key=$1 title=$2 start status errexit=
    shift 2
    start=$(date +%s)
    echo "=== $title"
    # A subshell with errexit of its own: inside `if` or `||` bash would ignore it.
    case $- in *e*) errexit=1 ;; esac
    set +e
    (set -e; "$@")
    status=$?
    [ -z "$errexit" ] || set -e
    if [ $status -eq 0 ]; then
        stage_record "$key" "$title" passed $(( $(date +%s) - start ))
    else
        stage_record "$key" "$title" failed $(( $(date +%s) - start )) "exit status $status"
    fi
    return $status
}

stage_skip() { # KEY TITLE REASON
    echo "skipped: $2: $3"
    stage_record "$1" "$2" skipped 0 "$3"
}

stage_field() { # KEY FIELD: the last record of KEY
    [ -n "${TICKVANE_STAGES:-}" ] && [ -f "$TICKVANE_STAGES" ] || return 0
    awk -F'\t' -v key="$1" -v field="$2" '$1 == key { value = $field } END { print value }' "$TICKVANE_STAGES"
}
stage_result() { stage_field "$1" 3; }
stage_note() { stage_field "$1" 5; }
stage_passed() { [ "$(stage_result "$1")" = passed ]; }

# The reason a stage that needs KEY cannot run, or nothing when KEY passed.
stage_needs() { # KEY...
    local key result
    for key in "$@"; do
        result=$(stage_result "$key")
        [ "$result" = passed ] && continue
        local title
        title=$(stage_field "$key" 2)
        case $result in
            "") echo "${key} has not run" ;;
            skipped) echo "${title} was skipped ($(stage_note "$key"))" ;;
            *) echo "${title} ${result}" ;;
        esac
        return 0
    done
}

stages_table() { # [WALL_SECONDS]
    [ -n "${TICKVANE_STAGES:-}" ] && [ -f "$TICKVANE_STAGES" ] || return 0
    echo
    awk -F'\t' -v wall="${1:-}" '
        { n++; title[n] = $2; result[n] = $3; seconds[n] = $4; note[n] = $5
          if (length($2) > width) width = length($2)
          total += $4; if ($3 == "failed") failed++; if ($3 == "skipped") skipped++ }
        END {
            printf "%-*s  %-7s  %6s  %s\n", width, "Stage", "result", "time", "note"
            for (i = 1; i <= n; i++)
                printf "%-*s  %-7s  %3d:%02d  %s\n", width, title[i], result[i], seconds[i] / 60, seconds[i] % 60, note[i]
            if (wall != "") total = wall
            printf "%d stages: %d passed, %d failed, %d skipped; %d:%02d in all\n", n, n - failed - skipped, failed + 0, skipped + 0, total / 60, total % 60
            exit failed > 0
        }' "$TICKVANE_STAGES"
}

# The file of the outermost script, on any exit (its EXIT trap calls this).
stages_discard() {
    if [ -n "${stages_own:-}" ]; then rm -f "$TICKVANE_STAGES"; fi
}

# The outermost script's table, at its end; a script called by another leaves it to that one.
stages_end() {
    [ -n "${stages_own:-}" ] || return 0
    local status=0
    stages_table "$(( $(date +%s) - stages_started ))" || status=1
    rm -f "$TICKVANE_STAGES"
    return $status
}
