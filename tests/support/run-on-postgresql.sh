#!/bin/sh
# Runs one test program with the suite database on PostgreSQL. The server is
# named by KOLVANE_TEST_PG at run time (scripts/test.sh starts one). Without
# it the test is skipped (exit 77), except on CI, where it fails.
if [ -z "${KOLVANE_TEST_PG:-}" ]; then
    if [ "${CI:-}" = true ]; then
        echo "KOLVANE_TEST_PG is not set: no PostgreSQL server for this test" >&2
        exit 1
    fi
    echo "skipped: KOLVANE_TEST_PG is not set (scripts/test.sh starts a server)"
    exit 77
fi
KOLVANE_TEST_ENGINE=postgresql
export KOLVANE_TEST_ENGINE
exec "$@"
