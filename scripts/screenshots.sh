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
# At display scale 2 (on a screen twice as large), a few of the same pictures
# are kept beside them: icons, logo and text must be sharp.
SCALE2=$(mktemp -d)
VC_SCREEN=3200x2000x24 QT_SCALE_FACTOR=2 QT_LOGGING_RULES='qt.qpa.*=false' \
  scripts/with-session.sh "$BUILD_DIR/tools/screenshots/vc_screenshots" "$SCALE2" >/dev/null
for name in main-grid-9 main-signin tile-playing; do
  cp "$SCALE2/$name.png" "$OUT/$name-scale2.png"
done
rm -rf "$SCALE2"
echo "screenshots at scale 2: $OUT/*-scale2.png"
