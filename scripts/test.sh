#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite through ctest
# (then once more in a sanitizer build):
# every test on SQLite, and those that use the suite database a second time
# (<name>_pg) on a PostgreSQL server of their own, started here in a temporary
# directory on a free loopback port and stopped at the end, whatever happens.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"

pgdir=""
cleanup() {
    status=$?
    if [ -n "$pgdir" ]; then
        "$root/scripts/pg-stop.sh" "$pgdir" || true
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The server's files go to memory when there is room: creating a database per
# test is then several times faster.
pgparent="${TMPDIR:-/tmp}"
if [ -d /dev/shm ] && [ -w /dev/shm ] && [ "$(df -Pk /dev/shm | awk 'NR == 2 { print $4 }')" -gt 1048576 ]; then
    pgparent=/dev/shm
fi
pgdir="$(mktemp -d "$pgparent/kolvane-pg.XXXXXX")"
if KOLVANE_TEST_PG="$("$root/scripts/pg-start.sh" "$pgdir")"; then
    export KOLVANE_TEST_PG
    echo "PostgreSQL test server: $KOLVANE_TEST_PG"
elif [ "${CI:-}" = true ]; then
    echo "test.sh: the PostgreSQL test server did not start" >&2
    exit 1
else
    unset KOLVANE_TEST_PG
    echo "test.sh: no PostgreSQL test server; the *_pg tests are skipped" >&2
fi

cd "$root/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"

# The same suite again, built with the address and undefined-behaviour sanitizers.
cmake -S "$root" -B "$root/build-asan" -DKOLVANE_SANITIZE=ON -DKOLVANE_WERROR=ON -DKOLVANE_BENCH=OFF >/dev/null
cmake --build "$root/build-asan" -j"$(nproc)"
cd "$root/build-asan"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
