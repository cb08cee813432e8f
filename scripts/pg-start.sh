#!/usr/bin/env bash
# Starts a throw-away PostgreSQL server in DIR (which must exist and be empty
# or absent): a new cluster in DIR/data, listening on a free port on 127.0.0.1
# only, with its socket in DIR. Run as root, the server runs as an unprivileged
# user (KOLVANE_PG_USER, default "postgres" when that user exists, else
# "nobody") who then owns DIR. Authentication: the superuser "postgres" is
# trusted from 127.0.0.1; every other role needs its password.
#
# With --tls the server also takes encrypted connections: a certificate
# authority made with openssl for the test (DIR/tls/ca.crt) signs the server's
# certificate for localhost, db.kolvane.test (a name that is not this machine's, reached through
# hostaddr=127.0.0.1) and 127.0.0.1; DIR/tls/other-ca.crt is an authority
# that did not sign it.
#
# With --standby-of PRIMARY_DIR the server is instead a streaming standby of the
# server pg-start.sh started in PRIMARY_DIR (pg_basebackup -R), and the primary
# then commits synchronously: a commit returns once the standby has the change,
# so promoting the standby (pg_ctl promote) loses no committed row.
#
# Prints the connection on stdout, e.g. "host=127.0.0.1 port=41234 user=postgres",
# and keeps it in DIR/conninfo. Stop the server and remove DIR with pg-stop.sh DIR
# (which removes only a directory marked as made here).
set -euo pipefail

tls=false
primary=""
case "${1:-}" in
--tls)
    tls=true
    shift
    ;;
--standby-of)
    primary="$(cd "${2:?usage: $0 --standby-of PRIMARY_DIR DIR}" && pwd)"
    shift 2
    ;;
esac
if [ $# -ne 1 ]; then
    echo "usage: $0 [--tls | --standby-of PRIMARY_DIR] DIR" >&2
    exit 2
fi
dir="$(mkdir -p "$1" && cd "$1" && pwd)"
# pg-stop.sh removes only a directory that carries this mark.
: >"$dir/.kolvane-pg-start"

bindir="${PG_BINDIR:-}"
if [ -z "$bindir" ]; then
    for candidate in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
        if [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ]; then
            bindir="$candidate"
            break
        fi
    done
fi
if [ -z "$bindir" ] && command -v initdb >/dev/null && command -v pg_ctl >/dev/null; then
    bindir="$(dirname "$(command -v initdb)")"
fi
if [ -z "$bindir" ]; then
    echo "pg-start: no PostgreSQL server binaries (initdb, pg_ctl) found; set PG_BINDIR" >&2
    exit 1
fi

# Runs a command as the server's owner.
as_owner() { "$@"; }
if [ "$(id -u)" -eq 0 ]; then
    owner="${KOLVANE_PG_USER:-}"
    if [ -z "$owner" ]; then
        if id postgres >/dev/null 2>&1; then owner=postgres; else owner=nobody; fi
    fi
    chown "$owner" "$dir"
    chmod 700 "$dir"
    as_owner() { runuser -u "$owner" -- "$@"; }
    if ! as_owner test -w "$dir"; then
        echo "pg-start: user $owner cannot reach $dir (a directory above it is closed to others)" >&2
        exit 1
    fi
fi

free_port() {
    if command -v python3 >/dev/null; then
        python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()'
    else
        echo $((20000 + RANDOM % 40000))
    fi
}

if [ -n "$primary" ]; then
    # The primary's files, its settings included, and how to follow it.
    read -r primary_host primary_port _ <"$primary/conninfo"
    as_owner "$bindir/pg_basebackup" -D "$dir/data" -R -X stream -c fast \
        -d "$primary_host $primary_port user=postgres application_name=standby" >"$dir/initdb.log" 2>&1 || {
        cat "$dir/initdb.log" >&2
        exit 1
    }
    as_owner tee -a "$dir/data/postgresql.conf" >/dev/null <<CONF
unix_socket_directories = '$dir'
cluster_name = 'standby'
CONF
else
    as_owner "$bindir/initdb" -D "$dir/data" -U postgres -E UTF8 --locale=C --auth=trust --no-sync >"$dir/initdb.log" 2>&1 || {
        cat "$dir/initdb.log" >&2
        exit 1
    }
    # Only the loopback address, and only postgres without a password; a
    # standby (--standby-of) copies the files as postgres.
    as_owner tee "$dir/data/pg_hba.conf" >/dev/null <<'HBA'
local   all   all                    trust
host    all   postgres  127.0.0.1/32 trust
host    all   all       127.0.0.1/32 scram-sha-256
host    replication postgres 127.0.0.1/32 trust
HBA
    # A test server: durability is not wanted, speed is.
    as_owner tee -a "$dir/data/postgresql.conf" >/dev/null <<CONF
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
fsync = off
synchronous_commit = off
full_page_writes = off
max_connections = 200
CONF
fi

if $tls; then
    tlsdir="$dir/tls"
    as_owner mkdir -m 700 "$tlsdir"
    # Elliptic-curve keys: made in milliseconds.
    newkey=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
    as_owner openssl req -x509 "${newkey[@]}" -days 2 -subj "/CN=Kolvane test CA" \
        -keyout "$tlsdir/ca.key" -out "$tlsdir/ca.crt" 2>/dev/null
    as_owner openssl req -x509 "${newkey[@]}" -days 2 -subj "/CN=Kolvane other CA" \
        -keyout "$tlsdir/other-ca.key" -out "$tlsdir/other-ca.crt" 2>/dev/null
    as_owner openssl req "${newkey[@]}" -subj "/CN=localhost" \
        -keyout "$tlsdir/server.key" -out "$tlsdir/server.csr" 2>/dev/null
    echo "subjectAltName=DNS:localhost,DNS:db.kolvane.test,IP:127.0.0.1" | as_owner tee "$tlsdir/server.ext" >/dev/null
    as_owner openssl x509 -req -in "$tlsdir/server.csr" -CA "$tlsdir/ca.crt" -CAkey "$tlsdir/ca.key" \
        -CAcreateserial -days 2 -extfile "$tlsdir/server.ext" -out "$tlsdir/server.crt" 2>/dev/null
    as_owner tee -a "$dir/data/postgresql.conf" >/dev/null <<CONF
ssl = on
ssl_cert_file = '$tlsdir/server.crt'
ssl_key_file = '$tlsdir/server.key'
CONF
    # The server refuses a key that others may read.
    as_owner chmod 600 "$tlsdir"/*.key
fi

# The primary waits for this standby at every commit, from the moment it
# streams to it; until then its commits would wait for nobody.
synchronous() {
    local psql=("$bindir/psql" -X -q -t -A -d "$1")
    "${psql[@]}" -c "ALTER SYSTEM SET synchronous_commit = on" \
        -c "ALTER SYSTEM SET synchronous_standby_names = 'standby'" -c "SELECT pg_reload_conf()" >/dev/null
    for _ in $(seq 1 120); do
        [ "$("${psql[@]}" -c "SELECT count(*) FROM pg_stat_replication WHERE sync_state = 'sync'")" = 1 ] && return 0
        sleep 0.25
    done
    echo "pg-start: the standby in $dir does not stream from its primary" >&2
    return 1
}

# A port found free may be taken before the server binds it: try a few.
for attempt in 1 2 3 4 5; do
    port="$(free_port)"
    if as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 -o "-p $port" start >/dev/null 2>&1; then
        conninfo="host=127.0.0.1 port=$port user=postgres"
        echo "$conninfo" >"$dir/conninfo"
        echo "$bindir" >"$dir/bindir"
        if [ -n "$primary" ]; then
            synchronous "$primary_host $primary_port user=postgres"
        fi
        echo "$conninfo"
        exit 0
    fi
done
echo "pg-start: the server did not start; its log:" >&2
cat "$dir/server.log" >&2 || true
exit 1
