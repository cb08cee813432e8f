#!/usr/bin/env bash
# Refreshes translations/kolvane_en.ts from the sources and forms: new texts are
# added unfinished, texts no longer in the tree are marked obsolete and dropped.
# Translate the new ones (Qt Linguist, or by hand), then rebuild: CMake compiles
# the .ts into the program.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
# Qt's own tools directory first (Debian keeps lupdate out of PATH), then PATH.
lupdate=""
if command -v qtpaths6 >/dev/null 2>&1; then
    lupdate="$(qtpaths6 --query QT_INSTALL_BINS)/lupdate"
fi
if [ ! -x "$lupdate" ]; then
    lupdate="$(command -v lupdate-qt6 || command -v lupdate || true)"
fi
if [ -z "$lupdate" ]; then
    echo "update-translations: lupdate not found (Debian package qt6-l10n-tools)" >&2
    exit 1
fi
cd "$root"
"$lupdate" -silent -I "$root" -locations none -no-obsolete -source-language zh_CN -target-language en \
    platform db formats host signin periods setup import shell tools -ts translations/kolvane_en.ts
