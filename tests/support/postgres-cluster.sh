#!/usr/bin/env bash
# A throw-away PostgreSQL 15 cluster for the tests, never one the system runs.
#   start INFO  makes it in a new temporary folder, owned by an unprivileged user (postgres, when
#               run as root), listening on a free port of 127.0.0.1 and on a socket in that folder,
#               and writes how to reach it to INFO (shell assignments);
#   stop INFO   stops it and removes the folder and INFO.
# The administrator role is tavrin_admin: trusted on the socket, by password over TCP.
set -euo pipefail
action=$1 info=$2
bin=/usr/lib/postgresql/15/bin

as_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

free_port() {
    local port
    for _ in $(seq 200); do
        port=$((20000 + RANDOM % 20000))
        if ! (exec 3<>/dev/tcp/127.0.0.1/$port) 2>/dev/null; then
            echo $port
            return
        fi
    done
    return 1
}

case $action in
start)
    # A cluster that an earlier start left (its run was cut short) goes first.
    [ ! -f "$info" ] || "$0" stop "$info"
    [ -x $bin/initdb ] || { echo "PostgreSQL 15 is not installed ($bin/initdb)" >&2; exit 1; }
    dir=$(mktemp -d "${TMPDIR:-/tmp}/tavrin-pg.XXXXXX")
    chmod 755 "$dir"
    [ "$(id -u)" -ne 0 ] || chown postgres: "$dir"
    password=$(head -c 12 /dev/urandom | od -An -tx1 | tr -d ' \n')
    echo "$password" > "$dir/password"
    [ "$(id -u)" -ne 0 ] || chown postgres: "$dir/password"
    as_owner $bin/initdb -D "$dir/data" -U tavrin_admin --pwfile="$dir/password" -E UTF8 \
        --locale=C --auth-local=trust --auth-host=scram-sha-256 > "$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; rm -rf "$dir"; exit 1; }
    for attempt in 1 2 3 4 5; do
        port=$(free_port)
        if as_owner $bin/pg_ctl -D "$dir/data" -l "$dir/server.log" -w -t 60 \
            -o "-p $port -k $dir -c listen_addresses=127.0.0.1" start > /dev/null; then
            break
        fi
        [ $attempt -lt 5 ] || { cat "$dir/server.log" >&2; rm -rf "$dir"; exit 1; }
    done
    cat > "$info" <<INFO
dir=$dir
port=$port
socket=$dir
password=$password
pg_ctl="$bin/pg_ctl"
INFO
    echo "PostgreSQL 15 for the tests on 127.0.0.1:$port, in $dir"
    ;;
stop)
    [ -f "$info" ] || exit 0
    dir=$(sed -n 's/^dir=//p' "$info")
    as_owner $bin/pg_ctl -D "$dir/data" -m immediate -w stop > /dev/null 2>&1 || true
    case $dir in */tavrin-pg.*) rm -rf "$dir" ;; esac
    rm -f "$info"
    ;;
esac
