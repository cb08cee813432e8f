#!/usr/bin/env bash
# Refreshes translations/kolvane_en.ts from the sources and forms: new texts are
# added unfinished, texts no longer in the tree are marked obsolete and dropped.
# Translate the new ones (Qt Linguist, or by hand), then rebuild: CMake compiles
# the .ts into the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
lupdate=/usr/lib/qt6/bin/lupdate
command -v lupdate-qt6 >/dev/null 2>&1 && [ ! -x "$lupdate" ] && lupdate=lupdate-qt6
cd "$root"
"$lupdate" -silent -I "$root" -locations none -no-obsolete -source-language zh_CN -target-language en \
    platform db host signin periods shell tools -ts translations/kolvane_en.ts
