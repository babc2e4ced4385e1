#!/usr/bin/env bash
# Configures and builds into a build folder.
#   scripts/build.sh [BUILD_DIR] [Debug|Release] [address|thread|""]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
BUILD_TYPE=${2:-Debug}
SANITIZE=${3:-}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" -DVC_SANITIZE="$SANITIZE" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
