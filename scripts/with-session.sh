#!/usr/bin/env bash
# Runs a command with what the program needs on a headless machine:
#   an X server (Xvfb) unless a display is already there,
#   a private D-Bus session with an unlocked Secret Service (fresh keyring),
#   a PulseAudio server with a null sink, and a 0700 runtime folder.
# The browser runtime needs its sandbox off when running as root.
#   scripts/with-session.sh COMMAND [ARGS...]
# VC_SCREEN sets the X server's screen (default 1600x1000x24).
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)

if [ "${VC_IN_SESSION:-}" != "1" ]; then
  export VC_IN_SESSION=1
  export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
  export VC_REAL_HOME=${VC_REAL_HOME:-$HOME}
  export HOME=$(mktemp -d /tmp/vchome.XXXXXX)
  export XDG_RUNTIME_DIR=$(mktemp -d /tmp/vcrun.XXXXXX)
  chmod 700 "$XDG_RUNTIME_DIR"
  if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
  if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 ${VC_SCREEN:-1600x1000x24}" dbus-run-session -- "$0" "$@"
  fi
  exec dbus-run-session -- "$0" "$@"
fi

# Inside the D-Bus session: unlock a fresh keyring and start audio.
echo -n vucamera-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 || true
if command -v pulseaudio >/dev/null 2>&1; then
  pulseaudio -D --exit-idle-time=-1 >/dev/null 2>&1 || true
fi
set +e
"$@"
rc=$?
if command -v pulseaudio >/dev/null 2>&1; then pulseaudio --kill >/dev/null 2>&1; fi
exit $rc
