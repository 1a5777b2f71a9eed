# Sourced by scripts/livebench.sh and scripts/soak.sh: lays out in WORK an install folder
# (WORK/Quorvix, from install/) and a settings store (XDG_CONFIG_HOME=WORK/config) for a trader who
# selected COUNT made-up CASH symbols PREFIX10000CE, PREFIX10001CE, ... (in WORK/symbols.txt), with no
# start-up backfill and AmiBroker left alone on close; further lines go into the store as they are.
#   lay_out_made_up_trader WORK COUNT PREFIX [KEY=VALUE...]
lay_out_made_up_trader() {
    local work=$1 count=$2 prefix=$3
    shift 3
    mkdir -p "$work/Quorvix"
    cp -r install/. "$work/Quorvix/"
    awk -v n="$count" -v p="$prefix" 'BEGIN { for (i = 0; i < n; ++i) printf "%s%dCE\n", p, 10000 + i }' \
        > "$work/symbols.txt"
    export XDG_CONFIG_HOME=$work/config
    mkdir -p "$XDG_CONFIG_HOME/Quorvix Company"
    {
        echo "[General]"
        printf 'selectedSymbolsList=%s\n' "$(paste -sd, "$work/symbols.txt" | sed 's/,/, /g')"
        printf 'corrExchList=%s\n' "$(sed 's/.*/CASH/' "$work/symbols.txt" | paste -sd, | sed 's/,/, /g')"
        echo "checkbox0=true"
        echo "disableAutoBackfill5=true"
        echo "saveLayout=false"
        echo "controlAmibroker=false"
        [ $# -eq 0 ] || printf '%s\n' "$@"
    } > "$XDG_CONFIG_HOME/Quorvix Company/Quorvix.conf"
    export XDG_RUNTIME_DIR=$work/runtime
    mkdir -m 0700 -p "$XDG_RUNTIME_DIR"
}
