#!/usr/bin/env bash
# The Debian package, without changing the machine: scripts/package.sh builds it
# (lintian: no error), it is unpacked into a temporary root, its metadata and
# files are checked, the unpacked kolvane-db makes a demonstration database in a
# temporary suite directory (KOLVANE_HOME) that the group may write, and the
# unpacked kolvane runs under Xvfb to the login dialog and out with exit code 0.
# Usage: sys_package.sh <bin dir of the build tree running the test>
set -uo pipefail

bin="${1:?bin directory}"
root="$(cd "$(dirname "$0")/.." && pwd)"
# The package does not depend on the build tree: test it once, from the plain one.
if grep -qs '^KOLVANE_SANITIZE:BOOL=ON' "$bin/../CMakeCache.txt"; then
    echo "SKIP: the package is tested from the build without sanitizers"
    exit 77
fi
for tool in dpkg-buildpackage dh lintian appstreamcli desktop-file-validate xvfb-run xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is not installed: the Debian packaging tools could not be installed (scripts/deps.sh)"
        exit 77
    fi
done

fail() {
    echo "FAIL: $*"
    exit 1
}

# Built in the build tree running the test, not in the source tree.
out="$(cd "$bin/.." && pwd)/package"
KOLVANE_PACKAGE_DIR="$out" "$root/scripts/package.sh" || fail "scripts/package.sh"
version="$(dpkg-parsechangelog -l "$root/debian/changelog" -SVersion)"
deb="$out/kolvane_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $deb"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
pkg="$work/root"
dpkg-deb -x "$deb" "$pkg" || fail "dpkg-deb -x"

# Run-time needs that no linker sees, and what the binaries link.
depends="$(dpkg-deb -f "$deb" Depends)"
for need in libqt6sql6-sqlite fonts-wqy-microhei libqt6widgets6 adduser; do
    [[ ",$depends," =~ [,\ ]$need[\ ,] ]] || fail "Depends lacks $need: $depends"
done
[[ "$(dpkg-deb -f "$deb" Recommends)" == *libqt6sql6-psql* ]] || fail "Recommends lacks libqt6sql6-psql"

for f in usr/bin/kolvane usr/bin/kolvane-db usr/share/man/man1/kolvane.1.gz usr/share/man/man1/kolvane-db.1.gz \
    usr/share/doc/kolvane/copyright usr/share/doc/kolvane/changelog.gz; do
    [ -s "$pkg/$f" ] || fail "the package lacks /$f"
done
# Width and height from a PNG file's header.
png_size() { od -An -v -tu1 -j16 -N8 "$1" 2>/dev/null | awk '{ print ($3 * 256 + $4) "x" ($7 * 256 + $8) }'; }
for size in 16 22 24 32 48 64 128 256; do
    icon="$pkg/usr/share/icons/hicolor/${size}x${size}/apps/kolvane.png"
    [ "$(png_size "$icon")" = "${size}x${size}" ] || fail "icon ${size}x${size} is $(png_size "$icon")"
done
desktop="$pkg/usr/share/applications/org.kolvane.OneCard.desktop"
desktop-file-validate "$desktop" || fail "desktop entry"
for line in 'Name=一卡通软件' 'Name\[en\]=.+' 'Exec=kolvane' 'Icon=kolvane' 'Categories=Office;'; do
    grep -qxE "$line" "$desktop" || fail "desktop entry lacks $line"
done
appstreamcli validate --no-net "$pkg/usr/share/metainfo/org.kolvane.OneCard.metainfo.xml" >"$work/appstream.log" 2>&1 || {
    cat "$work/appstream.log"
    fail "AppStream metadata"
}
# The suite directory fixed at build time (a UTF-16 literal in the binaries).
for program in kolvane kolvane-db; do
    strings -el "$pkg/usr/bin/$program" >"$work/strings"
    grep -q '/var/lib/kolvane$' "$work/strings" || fail "$program was not built for /var/lib/kolvane"
done

# A suite directory like the package's: setgid, writable by its group.
home="$work/suite"
mkdir -m 2775 "$home"
# The unpacked tool and program find their Qt libraries on the system.
KOLVANE_HOME="$home" "$pkg/usr/bin/kolvane-db" demo >/dev/null || fail "kolvane-db demo"
[ -f "$home/Kolvane.mdb" ] || fail "kolvane-db demo without a file name did not create \$KOLVANE_HOME/Kolvane.mdb"
group_writable() { [ $(($(stat -c '0%a' "$1") & 8#020)) -ne 0 ]; }
group_writable "$home/Kolvane.mdb" || fail "Kolvane.mdb is not group-writable: $(stat -c %A "$home/Kolvane.mdb")"

export LC_ALL=C.UTF-8
unset LANG LANGUAGE QT_QPA_PLATFORM
export KOLVANE_HOME="$home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

cat >"$work/session.sh" <<'SESSION'
#!/usr/bin/env bash
. "$KOLVANE_LIB"
program="$1"
home="$2"
"$program" &
pid=$!
login="$(kolvane_wait_window "$pid" '登录身份验证')"
if [ -z "$login" ]; then
    echo "FAIL: the login dialog did not appear"
    kill "$pid" 2>/dev/null
    wait "$pid"
    exit 2
fi
# The open database's journal files are the group's too.
for f in "$home/Kolvane.mdb-wal" "$home/Kolvane.mdb-shm"; do
    if [ ! -f "$f" ] || [ $(($(stat -c '0%a' "$f") & 8#020)) -eq 0 ]; then
        echo "FAIL: $f is missing or not group-writable"
        kill "$pid"
        wait "$pid"
        exit 3
    fi
done
kolvane_escape_and_wait "$pid" "$login"
code=$?
if [ "$code" -eq 124 ]; then
    echo "FAIL: the program is still running after Escape"
    exit 4
fi
if [ "$code" -ne 0 ]; then
    echo "FAIL: exit code $code"
    exit 5
fi
exit 0
SESSION
chmod +x "$work/session.sh"
export KOLVANE_LIB="$root/scripts/lib.sh"
xvfb-run -a "$work/session.sh" "$pkg/usr/bin/kolvane" "$home" || exit 1
echo "PASS"
