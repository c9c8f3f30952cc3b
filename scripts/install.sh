#!/usr/bin/env bash
# Builds a release of Lumidor, packs it as a .deb and installs that
# system-wide with apt, which also brings in what it depends on. The menu
# then offers Lumidor, and the task service starts with every new session.
# Remove it again with: sudo apt-get remove lumidor (your jobs stay).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=build/release
cmake --preset dev -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$build"
rm -f "$build"/lumidor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/lumidor_*.deb)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y "$(realpath "$deb")"
echo "Installed $(basename "$deb"). Start Lumidor from the menu or with: lumidor" >&2
