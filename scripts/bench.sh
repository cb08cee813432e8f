#!/usr/bin/env bash
# Builds a Release tree (build-bench/), starts a PostgreSQL server of its own in
# a temporary directory, and runs the roll-over benchmarks for 10,000 employees:
# on SQLite against the direct per-row floor, and on the server over loopback
# and through a relay that adds a 5 ms round trip. Prints min/median/max of
# each ratio (and two workstations on one SQLite file against one alone), and
# as its last line:
#   rollover 10000: sqlite/floor=R1 pg-5ms/pg-loopback=R2
# (medians). Extra arguments go to the benchmark program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target bench_rollover >/dev/null

pgdir=""
out=""
cleanup() {
    status=$?
    if [ -n "$pgdir" ]; then
        "$root/scripts/pg-stop.sh" "$pgdir" >/dev/null 2>&1 || true
    fi
    [ -n "$out" ] && rm -f $out
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

pgparent="${TMPDIR:-/tmp}"
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt 1048576 ]; then
    pgparent=/dev/shm
fi
pgdir="$(mktemp -d "$pgparent/kolvane-bench-pg.XXXXXX")"
KOLVANE_BENCH_PG="$("$root/scripts/pg-start.sh" "$pgdir")"
export KOLVANE_BENCH_PG

sqlite_out="$(mktemp "${TMPDIR:-/tmp}/kolvane-bench.XXXXXX.csv")"
server_out="$(mktemp "${TMPDIR:-/tmp}/kolvane-bench.XXXXXX.csv")"
together_out="$(mktemp "${TMPDIR:-/tmp}/kolvane-bench.XXXXXX.csv")"
out="$sqlite_out $server_out $together_out"
# Each benchmark in a file of its own: a CSV file has one set of counters.
"$build/bin/bench_rollover" --benchmark_filter='BM_RolloverSqlite/10000/' \
    --benchmark_out="$sqlite_out" --benchmark_out_format=csv "$@"
"$build/bin/bench_rollover" --benchmark_filter='BM_RolloverServer/10000/' \
    --benchmark_out="$server_out" --benchmark_out_format=csv "$@"
"$build/bin/bench_rollover" --benchmark_filter='BM_RolloverSqliteTogether/10000/' \
    --benchmark_out="$together_out" --benchmark_out_format=csv "$@"

# One aggregate (min, median, max) of one counter of one benchmark.
stat() {
    local file="$sqlite_out"
    [ "$1" = BM_RolloverServer ] && file="$server_out"
    [ "$1" = BM_RolloverSqliteTogether ] && file="$together_out"
    awk -F, -v bench="$1" -v counter="$2" -v agg="$3" '
        /^name,/ { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i } next }
        index($1, bench "/10000/") && $1 ~ ("_" agg "\"?$") { printf "%.2f", $(col[counter]); found = 1; exit }
        END { if (!found) printf "n/a" }' "$file"
}

echo
for pair in "BM_RolloverSqlite run/floor sqlite/floor" "BM_RolloverSqlite cpu:run/floor sqlite/floor(cpu)" \
    "BM_RolloverSqliteTogether together/alone sqlite-two-workstations/alone" \
    "BM_RolloverServer pg-5ms/pg-loopback pg-5ms/pg-loopback" "BM_RolloverServer pg-loopback/copy pg-loopback/copy"; do
    set -- $pair
    echo "$3: min $(stat "$1" "$2" min) median $(stat "$1" "$2" median) max $(stat "$1" "$2" max)"
done
echo "rollover 10000: sqlite/floor=$(stat BM_RolloverSqlite run/floor median)" \
    "pg-5ms/pg-loopback=$(stat BM_RolloverServer pg-5ms/pg-loopback median)"
