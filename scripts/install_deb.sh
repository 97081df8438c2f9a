#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package (cpack -G DEB), installs it on this machine with
# apt-get, runs the installed `velomorph --version` and `velomorph --help`
# without a display, and removes the package again, also when a step fails.
# It changes the machine, so ./test never runs it. Run it as root.
#
#   scripts/install_deb.sh              configures and builds build/release first
#   scripts/install_deb.sh BUILD_DIR    packages a tree already built
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
ensure_packages

if [ "$(id -u)" -ne 0 ]; then
  echo "install_deb.sh installs a package: run it as root" >&2
  exit 1
fi
if dpkg -s velomorph >/dev/null 2>&1; then
  echo "velomorph is installed already; remove it first (apt-get remove velomorph)" >&2
  exit 1
fi

build=${1:-build/release}
if [ $# -eq 0 ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DVELOMORPH_BUILD_BENCH=OFF >/dev/null
  cmake --build "$build" >/dev/null
fi

out=$(mktemp -d)
installed=no
cleanup() {
  if [ "$installed" = yes ]; then
    echo "== apt-get remove velomorph"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -q velomorph | grep -E '^(Removing|Remove)' || true
    dpkg -s velomorph >/dev/null 2>&1 && echo "velomorph is still installed" >&2
  fi
  rm -rf "$out"
}
trap cleanup EXIT

echo "== cpack -G DEB"
(cd "$build" && cpack -G DEB -B "$out" | grep -E 'generated' || true)
debs=("$out"/velomorph_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "no package made" >&2; exit 1; }
dpkg-deb -f "$deb" Package Version Architecture Depends

echo "== apt-get install ./$(basename "$deb")"
installed=yes
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb" | grep -E '^(Setting up|Unpacking) velomorph' || true
dpkg -s velomorph | grep -E '^(Status|Version):'
echo "velomorph is $(command -v velomorph)"

# No display: these two answer without one.
echo "== velomorph --version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM velomorph --version
echo "== velomorph --help"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM velomorph --help
