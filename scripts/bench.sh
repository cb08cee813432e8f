#!/usr/bin/env bash
# Builds a Release tree (build-bench/), starts a PostgreSQL server of its own in
# a temporary directory, and runs the roll-over benchmarks for 1,000, 10,000 and
# 100,000 employees, on the project's schema and on the suite's bare table list
# (no key, no index): on SQLite against the direct per-row floor, and on the
# server over loopback and through a relay that adds a 5 ms round trip. Prints
# min/median/max of each ratio (and two and four workstation programs saving
# 30,000 employees' month on one SQLite file at once against the same saves one
# after the other, each within 1.2). Then the imports into the server for
# 100,000 and 1,000,000 rows: the Access import's rows, and an employees' sheet
# (all rows new, and half of them changed), through the 5 ms relay against
# loopback, and loopback against a plain COPY of the same rows (each within 2;
# see the README for the changed rows). As its last line (medians):
#   rollover 10000: sqlite/floor=R1 sqlite-nokey/floor=R2 pg-5ms/pg-loopback=R3
#   pg-nokey-5ms/pg-loopback=R4 growth-100k/10k=R5
# where R5 is the bare SQLite run's time per employee at 100,000 over that at
# 10,000. Extra arguments go to bench_rollover. First, the sign-in's password
# check with a hashed password against a plain one (bench_password).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
build="$root/build-bench"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target bench_rollover bench_password bench_import >/dev/null

"$build/bin/bench_password" --benchmark_report_aggregates_only=true

. "$root/scripts/lib.sh"
kolvane_start_server kolvane-bench-pg
export KOLVANE_BENCH_PG="$KOLVANE_SERVER"

sqlite_out="$(mktemp "${TMPDIR:-/tmp}/kolvane-bench.XXXXXX.csv")"
server_out="$(mktemp "${TMPDIR:-/tmp}/kolvane-bench.XXXXXX.csv")"
programs_out="$(mktemp "${TMPDIR:-/tmp}/kolvane-bench.XXXXXX.csv")"
import_out="$(mktemp "${TMPDIR:-/tmp}/kolvane-bench.XXXXXX.csv")"
kolvane_on_exit "rm -f \"$sqlite_out\" \"$server_out\" \"$programs_out\" \"$import_out\""
# Each benchmark in a file of its own: a CSV file has one set of counters.
"$build/bin/bench_rollover" --benchmark_filter='BM_RolloverSqlite/' \
    --benchmark_out="$sqlite_out" --benchmark_out_format=csv "$@"
"$build/bin/bench_rollover" --benchmark_filter='BM_RolloverServer/' \
    --benchmark_out="$server_out" --benchmark_out_format=csv "$@"
"$build/bin/bench_rollover" --benchmark_filter='BM_RolloverSqliteProcesses/' \
    --benchmark_out="$programs_out" --benchmark_out_format=csv "$@"

# One aggregate (min, median, max) of one column of one benchmark run, named
# with its arguments ("BM_RolloverSqlite/10000/1": 10,000 employees, bare schema).
stat() {
    local file="$sqlite_out"
    case "$1" in
    BM_RolloverServer/*) file="$server_out" ;;
    BM_RolloverSqliteProcesses/*) file="$programs_out" ;;
    esac
    awk -F, -v bench="$1" -v counter="$2" -v agg="$3" '
        /^name,/ { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i } next }
        index($1, bench "/") && $1 ~ ("_" agg "\"?$") { printf "%.2f", $(col[counter]); found = 1; exit }
        END { if (!found) printf "n/a" }' "$file"
}

echo
for employees in 1000 10000 100000; do
    for schema in 0 1; do
        name=own
        [ "$schema" = 1 ] && name=bare
        for pair in "BM_RolloverSqlite run/floor sqlite/floor" \
            "BM_RolloverServer pg-5ms/pg-loopback pg-5ms/pg-loopback" \
            "BM_RolloverServer pg-loopback/copy pg-loopback/copy"; do
            set -- $pair
            b="$1/$employees/$schema"
            echo "$employees $name $3: min $(stat "$b" "$2" min) median $(stat "$b" "$2" median) max $(stat "$b" "$2" max)" \
                "(run $(stat "$b" real_time median) ms)"
        done
    done
done
for schema in 0 1; do
    for programs in 2 4; do
        b="BM_RolloverSqliteProcesses/30000/$schema/$programs"
        echo "30000 schema $schema $programs-programs together/one-by-one: min $(stat "$b" together/one-by-one min)" \
            "median $(stat "$b" together/one-by-one median) max $(stat "$b" together/one-by-one max)" \
            "(cpu median $(stat "$b" cpu:together/one-by-one median); one save alone $(stat "$b" alone_s median) s)"
    done
done
KOLVANE_BENCH_MILLION=1 "$build/bin/bench_import" --benchmark_filter='BM_ImportServer|BM_SheetImportServer' \
    --benchmark_report_aggregates_only=true --benchmark_out="$import_out" --benchmark_out_format=csv >/dev/null
for rows in 100000 1000000; do
    for pair in "BM_ImportServer/$rows access" "BM_SheetImportServer/$rows/0 sheet-new" \
        "BM_SheetImportServer/$rows/5 sheet-half-changed"; do
        set -- $pair
        awk -F, -v bench="$1" -v what="$2" -v rows="$rows" '
            /^name,/ { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i } next }
            index($1, bench "/") && $1 ~ /_median"?$/ {
                printf "import %s %s rows: 5ms/loopback=%.2f loopback/copy=%.2f (loopback %.2f s, copy %.2f s)\n",
                    what, rows, $(col["5ms/loopback"]), $(col["loopback/copy"]), $(col["loopback_s"]), $(col["copy_s"]) }' \
            "$import_out"
    done
done

growth="$(awk -v a="$(stat BM_RolloverSqlite/100000/1 real_time median)" \
    -v b="$(stat BM_RolloverSqlite/10000/1 real_time median)" \
    'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", (a / 100000) / (b / 10000); else printf "n/a" }')"
echo "rollover 10000: sqlite/floor=$(stat BM_RolloverSqlite/10000/0 run/floor median)" \
    "sqlite-nokey/floor=$(stat BM_RolloverSqlite/10000/1 run/floor median)" \
    "pg-5ms/pg-loopback=$(stat BM_RolloverServer/10000/0 pg-5ms/pg-loopback median)" \
    "pg-nokey-5ms/pg-loopback=$(stat BM_RolloverServer/10000/1 pg-5ms/pg-loopback median)" \
    "growth-100k/10k=$growth"
