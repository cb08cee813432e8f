#!/usr/bin/env bash
# Keeps the tree's layout telling its build: every CMakeLists.txt adds its
# files to one library, and no file of the base library includes a header of
# the GUI (shell/, any ui/ folder) or of the admin tool (tools/).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
status=0

# The libraries a CMakeLists.txt feeds: targets of target_sources() and
# add_library(); executables are programs, not libraries, and do not count.
while IFS= read -r list; do
    targets=$(grep -oE '(target_sources|add_library)\([A-Za-z0-9_-]+' "$list" | sed 's/.*(//' | sort -u)
    if [ "$(printf '%s\n' "$targets" | grep -c .)" -gt 1 ]; then
        echo "$list feeds more than one library: $(echo $targets)"
        status=1
    fi
done < <(git ls-files -co --exclude-standard '*CMakeLists.txt' | grep -v '^CMakeLists.txt$\|^tests/\|^bench/')

# Base files: every source outside shell/, ui/ folders, tools/, tests/, bench/.
while IFS= read -r file; do
    if grep -nE '^#include "(shell/|tools/|[A-Za-z/]*ui/)' "$file"; then
        echo "^ $file is in the base library and includes a GUI or admin-tool header"
        status=1
    fi
done < <(git ls-files -co --exclude-standard '*.cpp' '*.h' | grep -vE '^(shell|tools|tests|bench)/|/ui/')

[ $status -eq 0 ] && echo "layout: every folder feeds one library, and the base includes no GUI or tool header"
exit $status
