#!/usr/bin/env bash
# Installs everything, builds, starts the home emulator with the demo scenario
# and runs VuCamera against it. Without a display it runs under Xvfb.
#   scripts/run.sh [--scenario FILE]
# Demo account: user id 1000000001, password demo1234.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Only what running needs: the program and the emulator (no tests, benchmarks or tools).
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DVC_SANITIZE= \
  -DVC_BUILD_TESTS=OFF -DVC_BUILD_BENCH=OFF -DVC_BUILD_TOOLS=OFF >/dev/null
cmake --build build-release -j "$(nproc)"
BIN=build-release
SCENARIO=sim/scenarios/demo.json
if [ "${1:-}" = "--scenario" ] && [ -n "${2:-}" ]; then SCENARIO=$2; fi

if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/vcrun.XXXXXX)}
chmod 700 "$XDG_RUNTIME_DIR" 2>/dev/null || true
RUNDIR=$(mktemp -d /tmp/vucamera-run.XXXXXX)
export VUCAMERA_ENDPOINTS=$RUNDIR/endpoints.json

# The emulator prints "ready {...}" once every service listens.
"$BIN/sim/app/vucamera-sim" --scenario "$SCENARIO" --endpoints "$VUCAMERA_ENDPOINTS" > "$RUNDIR/sim.out" 2> "$RUNDIR/sim.log" &
SIM_PID=$!
trap 'kill $SIM_PID 2>/dev/null; wait $SIM_PID 2>/dev/null || true' EXIT
for _ in $(seq 1 300); do
  grep -q '^ready ' "$RUNDIR/sim.out" 2>/dev/null && break
  kill -0 $SIM_PID 2>/dev/null || { echo "the emulator did not start:"; cat "$RUNDIR/sim.log"; exit 1; }
  sleep 0.1
done
echo "Emulator ready (endpoints in $VUCAMERA_ENDPOINTS, log in $RUNDIR/sim.log)."
echo "Sign in with user id 1000000001 and password demo1234."

if [ -z "${DISPLAY:-}" ]; then
  echo "No display: running under Xvfb (take screenshots with 'import -window root')."
  xvfb-run -a -s "-screen 0 1600x1000x24" "$BIN/app/vucamera"
else
  "$BIN/app/vucamera"
fi
