#!/usr/bin/env bash
# Builds the Release tree with only what the program and the emulator need
# and makes the Debian packages:
#   build-release/vucamera_<version>_amd64.deb      the program
#   build-release/vucamera-sim_<version>_amd64.deb  the home emulator
# Their dependencies come from the binaries (dpkg-shlibdeps).
#   scripts/package.sh [BUILD_DIR]    (build-release/)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build-release}
scripts/install-deps.sh
# cpack's dependency scan needs dpkg-shlibdeps (dpkg-dev) and file.
if ! command -v dpkg-shlibdeps >/dev/null || ! command -v file >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends dpkg-dev file
fi
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVC_SANITIZE= \
  -DVC_BUILD_TESTS=OFF -DVC_BUILD_BENCH=OFF -DVC_BUILD_TOOLS=OFF -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
rm -f "$BUILD_DIR"/vucamera*.deb
(cd "$BUILD_DIR" && cpack -G DEB)
ls -l "$BUILD_DIR"/vucamera*.deb
