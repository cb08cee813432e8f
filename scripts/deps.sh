#!/usr/bin/env bash
# Installs the Debian 12 packages the program, its tests and benchmarks need,
# only those that are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libgl-dev
    qt6-l10n-tools qt6-translations-l10n
    fonts-wqy-microhei
    xvfb xauth xdotool sqlite3
    libbenchmark-dev
    libpq-dev libsqlite3-dev libxlsxwriter-dev libsodium-dev faketime
    mdbtools-dev mdbtools
    postgresql openssl
    # the Access reader's fuzz target (scripts/fuzz.sh): clang and its libFuzzer
    clang libclang-rt-14-dev
    # pg_autoctl, for trying the README's primary with a standby and automatic failover
    postgresql-15-auto-failover
)
# The Debian package (scripts/package.sh, tests/sys_package.sh): its tools and
# build dependencies. Without them only the package test is skipped.
packaging=(
    build-essential debhelper dpkg-dev lintian appstream desktop-file-utils
    qt6-tools-dev qt6-l10n-tools
)

missing() {
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            echo "$p"
        fi
    done
}
mapfile -t need < <(missing "${packages[@]}")
mapfile -t need_packaging < <(missing "${packaging[@]}")
[ ${#need[@]} -eq 0 ] && [ ${#need_packaging[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
$sudo apt-get update -qq
apt_install() {
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@"
}
if [ ${#need[@]} -gt 0 ]; then
    echo "Installing: ${need[*]}"
    apt_install "${need[@]}"
fi
if [ ${#need_packaging[@]} -gt 0 ]; then
    echo "Installing the packaging tools: ${need_packaging[*]}"
    apt_install "${need_packaging[@]}" || echo "deps.sh: the packaging tools could not be installed; the package test will be skipped" >&2
fi
