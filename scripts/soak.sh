#!/usr/bin/env bash
# Runs N simulated workstations on one PostgreSQL database for SECONDS seconds
# and checks the outcome (tests/soak/). Uses the server named by KOLVANE_TEST_PG,
# or starts a throw-away one (pg-start.sh) and stops it at the end.
#   scripts/soak.sh 50 600
set -euo pipefail
if [ $# -lt 2 ]; then
    echo "usage: $0 WORKSTATIONS SECONDS [soak options...]" >&2
    exit 2
fi
workers="$1"
seconds="$2"
shift 2
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${KOLVANE_BUILD_DIR:-$root/build}"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target soak >/dev/null

. "$root/scripts/lib.sh"
if [ -z "${KOLVANE_TEST_PG:-}" ]; then
    kolvane_start_server kolvane-soak
    export KOLVANE_TEST_PG="$KOLVANE_SERVER"
fi
QT_QPA_PLATFORM=offscreen "$build/bin/soak" --workers "$workers" --seconds "$seconds" "$@"
