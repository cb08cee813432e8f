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

. "$root/scripts/lib.sh"
if kolvane_start_server kolvane-pg; then
    export KOLVANE_TEST_PG="$KOLVANE_SERVER"
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
"$root/scripts/fuzz.sh" 60 # the Access reader on damaged files: fails on a crash, a hang or a huge reserve

# The same suite again, built with the address and undefined-behaviour sanitizers.
cmake -S "$root" -B "$root/build-asan" -DKOLVANE_SANITIZE=ON -DKOLVANE_WERROR=ON -DKOLVANE_BENCH=OFF >/dev/null
cmake --build "$root/build-asan" -j"$(nproc)"
cd "$root/build-asan"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)"
