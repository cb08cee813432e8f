#!/usr/bin/env bash
# Stops a server started by pg-start.sh DIR and removes DIR; any other
# directory is left alone.
set -uo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 DIR" >&2
    exit 2
fi
dir="$1"
[ -d "$dir" ] || exit 0
if [ ! -f "$dir/.kolvane-pg-start" ]; then
    echo "pg-stop: $dir was not made by pg-start.sh; left as it is" >&2
    exit 1
fi
if [ -f "$dir/data/postmaster.pid" ] && [ -f "$dir/bindir" ]; then
    bindir="$(cat "$dir/bindir")"
    owner="$(stat -c %U "$dir/data")"
    if [ "$(id -u)" -eq 0 ] && [ "$owner" != root ]; then
        runuser -u "$owner" -- "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1
    else
        "$bindir/pg_ctl" -D "$dir/data" -m fast -w -t 30 stop >/dev/null 2>&1
    fi
fi
rm -rf "$dir"
