#!/usr/bin/env bash
# Builds the Debian package build-deb/kolvane_<version>_<arch>.deb (or in
# $KOLVANE_PACKAGE_DIR) with debhelper
# from a clean copy of the source tree (what git tracks, with uncommitted
# changes; no build trees), then checks it with lintian: any error fails.
# The copy keeps one path from run to run, so ccache (used when installed)
# finds the objects of the last build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${KOLVANE_PACKAGE_DIR:-$root/build-deb}"
src="$out/src/kolvane"

for tool in dpkg-buildpackage dh dpkg-parsechangelog; do
    command -v "$tool" >/dev/null || {
        echo "package.sh: $tool is missing (packages dpkg-dev, debhelper)" >&2
        exit 1
    }
done

cmake_version="$(sed -n 's/^project(kolvane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
deb_version="$(dpkg-parsechangelog -l "$root/debian/changelog" -SVersion)"
if [ "${deb_version%%-*}" != "$cmake_version" ]; then
    echo "package.sh: debian/changelog says $deb_version, CMakeLists.txt says $cmake_version" >&2
    exit 1
fi

rm -rf "$out/src" "$out"/kolvane_*
mkdir -p "$src"
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    # Files deleted but not yet committed are left out.
    git -C "$root" ls-files -z --cached --others --exclude-standard \
        | while IFS= read -r -d '' f; do if [ -e "$root/$f" ]; then printf '%s\0' "$f"; fi; done \
        | tar -C "$root" --null -T - -cf - | tar -C "$src" -xf -
else
    tar -C "$root" --exclude='./build*' --exclude='./.git' -cf - . | tar -C "$src" -xf -
fi

if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
    # debhelper gives the build a HOME of its own: name the user's cache.
    CCACHE_DIR="$(ccache --get-config cache_dir)"
    export CCACHE_DIR
fi
# No debug-symbol package and no tests here (scripts/test.sh runs those).
export DEB_BUILD_OPTIONS="parallel=$(nproc) noddebs nocheck${DEB_BUILD_OPTIONS:+ $DEB_BUILD_OPTIONS}"
(cd "$src" && dpkg-buildpackage -b -us -uc >"$out/build.log" 2>&1) || {
    tail -n 40 "$out/build.log" >&2
    echo "package.sh: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
    exit 1
}

deb="kolvane_${deb_version}_$(dpkg --print-architecture).deb"
mv "$out/src/$deb" "$out/"
echo "built $out/$deb"

if command -v lintian >/dev/null; then
    lintian --fail-on error --info "$out/$deb"
else
    echo "package.sh: lintian is not installed; the package was not checked" >&2
fi
