#!/usr/bin/env bash
# Installs everything, builds, starts the home emulator with the demo scenario
# and runs VuCamera against it. Without a display it runs under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build-release Release
BIN=build-release
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/vcrun.XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR" 2>/dev/null || true
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: running under Xvfb (take screenshots with 'import -window root')."
  exec xvfb-run -a -s "-screen 0 1600x1000x24" "$BIN/app/vucamera" "$@"
fi
exec "$BIN/app/vucamera" "$@"
