#!/usr/bin/env bash
# Installs what is missing, builds, creates the demonstration database beside
# the executable when there is none, and starts the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh"
"$root/scripts/build.sh"
bin="$root/build/bin"
if [ ! -e "$bin/Kolvane.mdb" ] && [ ! -e "$bin/Kolv.mdb" ]; then
    "$bin/kolvane-db" demo "$bin/Kolvane.mdb"
fi
exec "$bin/kolvane"
