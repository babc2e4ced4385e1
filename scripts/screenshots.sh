#!/usr/bin/env bash
# Renders docs/screenshots/ from the real widgets and the real main window
# against the emulated home (tools/screenshots), in a session with a display,
# a keyring and an audio server.
#   scripts/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]    (build/, docs/screenshots/)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
OUT=${2:-docs/screenshots}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
if [ ! -f "$BUILD_DIR/build.ninja" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
fi
cmake --build "$BUILD_DIR" --target vc_screenshots
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
QT_LOGGING_RULES='qt.qpa.*=false' scripts/with-session.sh "$BUILD_DIR/tools/screenshots/vc_screenshots" "$OUT"
