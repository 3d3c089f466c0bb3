#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test. Safe to run
# again: it installs only what is missing and never asks questions.
set -euo pipefail

PACKAGES=(
    # build
    cmake make g++ pkg-config qt6-base-dev qt6-multimedia-dev qt6-svg-dev libgloox-dev libgnutls28-dev libpugixml-dev
    libcurl4-openssl-dev libssl-dev libminizip-dev zlib1g-dev libboost-dev libgps-dev
    # tests, fixtures and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev libsqlite3-dev clang libclang-rt-14-dev
    ejabberd erlang-base gpsd gpsd-clients libcpp-httplib-dev openssl python3
    fonts-dejavu-core xauth xvfb xdotool clang-format dbus-daemon
    # the local service's offline world map (GDAL, GMT and Mapnik with Debian's map data)
    # and the independent XMPP client of the service tests
    gdal-bin python3-gdal python3-mapnik gmt gmt-gshhg-low gmt-dcw marble-qt-data python3-slixmpp
    # the package: icons rendered at build time, the checks of the desktop entry, the
    # metainfo and the package, and the fresh Debian root of scripts/package-test.sh
    librsvg2-bin dpkg-dev desktop-file-utils appstream lintian debootstrap
)

missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: everything is installed."
    exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo"
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
# The distribution's ejabberd service is not used (the tests start their own server); do
# not leave it running on the standard ports where it was started by the package.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet ejabberd 2>/dev/null; then
    $SUDO systemctl stop ejabberd || true
    $SUDO systemctl disable ejabberd || true
fi
