#!/usr/bin/env bash
# Starts a private MariaDB on 127.0.0.1:$PORT with its data under $DIR, and an account
# tick/tick that may create databases.  Usage: mariadb.sh start|stop DIR PORT
set -euo pipefail
cmd=$1 dir=$2 port=$3
case "$cmd" in
start)
    mkdir -p "$dir"
    if [ ! -d "$dir/data/mysql" ]; then
        mariadb-install-db --no-defaults --user=root --datadir="$dir/data" --skip-test-db >"$dir/install.log" 2>&1
    fi
    mariadbd --no-defaults --user=root --datadir="$dir/data" --port="$port" \
        --bind-address=127.0.0.1 --socket="$dir/mysqld.sock" --pid-file="$dir/pid" \
        --log-error="$dir/error.log" --skip-name-resolve \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_unicode_ci &
    up=0
    for _ in $(seq 1 600); do
        if mariadb-admin --no-defaults --socket="$dir/mysqld.sock" -uroot ping >/dev/null 2>&1; then up=1; break; fi
        sleep 0.1
    done
    if [ "$up" != 1 ]; then
        echo "MariaDB did not start on 127.0.0.1:$port; its log:" >&2
        cat "$dir/error.log" >&2
        exit 1
    fi
    mariadb --no-defaults --socket="$dir/mysqld.sock" -uroot <<SQL
CREATE USER IF NOT EXISTS 'tick'@'127.0.0.1' IDENTIFIED BY 'tick';
GRANT ALL PRIVILEGES ON *.* TO 'tick'@'127.0.0.1';
FLUSH PRIVILEGES;
SQL
    ;;
stop)
    if [ -f "$dir/pid" ]; then
        pid=$(cat "$dir/pid")
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    fi
    ;;
esac
