#!/usr/bin/env bash
# Installs everything, builds, and runs the whole test suite under Xvfb with a
# private D-Bus session, an unlocked Secret Service and an audio server.
#   scripts/test.sh                     normal build (build/)
#   VC_SANITIZE=address scripts/test.sh address+undefined build (build-address/)
#   VC_SANITIZE=thread  scripts/test.sh thread sanitizer build (build-thread/)
# Extra arguments go to ctest (e.g. -R tst_logfile).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
SAN=${VC_SANITIZE:-}
BUILD_DIR=${VC_BUILD_DIR:-build${SAN:+-$SAN}}
scripts/build.sh "$BUILD_DIR" Debug "$SAN"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
scripts/with-session.sh ctest --test-dir "$BUILD_DIR" -j2 --output-on-failure --timeout 600 "$@"
