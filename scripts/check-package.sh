#!/usr/bin/env bash
# Checks the Debian packages made by scripts/package.sh the way a user gets
# them: installs both into a clean Debian 12 root (debootstrap) with
# apt-get install ./...deb, runs the programs there and looks for the menu
# entry and the icons. Run by hand, as root (not in CI: it fetches a base
# system, a few hundred megabytes with Qt and its browser engine).
#   scripts/check-package.sh [BUILD_DIR] [ROOT]   (build-release/, /var/tmp/vucamera-check-root)
# The root is kept for the next run; delete it for a fresh one. MIRROR
# overrides the archive (default http://deb.debian.org/debian).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build-release}
ROOT=${2:-/var/tmp/vucamera-check-root}
MIRROR=${MIRROR:-http://deb.debian.org/debian}
ID=org.velmor.VuCamera
[ "$(id -u)" -eq 0 ] || { echo "check-package.sh: run as root" >&2; exit 1; }

APP_DEB=$(ls "$BUILD_DIR"/vucamera_*_amd64.deb)
SIM_DEB=$(ls "$BUILD_DIR"/vucamera-sim_*_amd64.deb)
VERSION=$(dpkg-deb -f "$APP_DEB" Version)
fail() { echo "FAIL: $*" >&2; exit 1; }
step() { echo "== $*"; }

step "the packages"
for deb in "$APP_DEB" "$SIM_DEB"; do
  dpkg-deb --info "$deb"
  dpkg-deb --contents "$deb"
done
if command -v lintian >/dev/null; then
  step "lintian (findings are listed, not fatal)"
  lintian --tag-display-limit 0 "$APP_DEB" "$SIM_DEB" || true
fi

step "menu entry and metainfo, as packaged"
EXTRACT=$(mktemp -d)
trap 'rm -rf "$EXTRACT"' EXIT
dpkg-deb -x "$APP_DEB" "$EXTRACT"
command -v desktop-file-validate >/dev/null && command -v appstreamcli >/dev/null \
  || apt-get install -y --no-install-recommends desktop-file-utils appstream
desktop-file-validate "$EXTRACT/usr/share/applications/$ID.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$EXTRACT/usr/share/metainfo/$ID.metainfo.xml" || fail "appstreamcli validate"

step "a clean Debian 12 root in $ROOT"
command -v debootstrap >/dev/null || apt-get install -y --no-install-recommends debootstrap
if [ ! -f "$ROOT/etc/debian_version" ]; then
  debootstrap --variant=minbase bookworm "$ROOT" "$MIRROR"
fi
mountpoint -q "$ROOT/proc" || mount -t proc proc "$ROOT/proc"
trap 'umount "$ROOT/proc" 2>/dev/null || true; rm -rf "$EXTRACT"' EXIT
in_root() { chroot "$ROOT" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

step "apt-get install ./vucamera*.deb (without recommended packages: the dependencies alone must do)"
cp "$APP_DEB" "$SIM_DEB" "$ROOT/tmp/"
in_root dpkg --purge vucamera vucamera-sim >/dev/null 2>&1 || true # a kept root: the same version would not be installed again
in_root apt-get update
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
  "./tmp/$(basename "$APP_DEB")" "./tmp/$(basename "$SIM_DEB")"

step "the programs run"
OUT=$(in_root vucamera --version) || fail "vucamera --version"
echo "$OUT"
[ "$OUT" = "vucamera $VERSION" ] || fail "vucamera --version printed '$OUT', not 'vucamera $VERSION'"
in_root vucamera --help | grep -q -- '--endpoints' || fail "vucamera --help"
in_root vucamera-sim --help | grep -q -- '--scenario' || fail "vucamera-sim --help"
if in_root ldd /usr/lib/vucamera/vucamera | grep 'not found'; then fail "libraries missing"; fi
# The emulator starts its services (loopback only) and says so.
in_root sh -c 'vucamera-sim --scenario /usr/share/vucamera-sim/scenarios/demo.json \
    --endpoints /tmp/sim/endpoints.json > /tmp/sim.out 2>/tmp/sim.log & pid=$!
  for i in $(seq 600); do grep -q "^ready " /tmp/sim.out && break; sleep 0.1; done
  kill $pid; wait $pid; grep "^ready " /tmp/sim.out' || fail "vucamera-sim did not get ready"

step "the program runs against the emulator for 30 s (under Xvfb, added to the root for this check)"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends xvfb xauth
mountpoint -q "$ROOT/dev/shm" || mount -t tmpfs shm "$ROOT/dev/shm" # the browser engine's shared memory
trap 'umount "$ROOT/dev/shm" "$ROOT/proc" 2>/dev/null || true; rm -rf "$EXTRACT"' EXIT
cat > "$ROOT/tmp/run-app.sh" <<'SH'
#!/bin/sh
vucamera-sim --scenario /usr/share/vucamera-sim/scenarios/demo.json --endpoints /tmp/sim/endpoints.json \
  > /tmp/sim.out 2> /tmp/sim.log & sim=$!
for i in $(seq 600); do grep -q "^ready " /tmp/sim.out && break; sleep 0.1; done
mkdir -p -m 700 /tmp/xdg
rm -rf /root/.local/share/Velmor
# Still running when the time is up (124) is the good end.
QTWEBENGINE_DISABLE_SANDBOX=1 XDG_RUNTIME_DIR=/tmp/xdg timeout 30 \
  xvfb-run -a -s "-screen 0 1280x800x24" vucamera --endpoints /tmp/sim/endpoints.json > /tmp/app.out 2>&1
rc=$?
kill $sim; wait $sim
exit $rc
SH
chmod +x "$ROOT/tmp/run-app.sh"
rc=0; in_root /tmp/run-app.sh || rc=$?
LOG=$ROOT/root/.local/share/Velmor/VuCamera/Log/VuCamera.log
grep -v DEBUG "$LOG" || true
[ "$rc" -eq 124 ] || fail "vucamera ended early ($rc)"
if grep -E 'page script .* not readable|on_loadFinished fail' "$LOG"; then fail "the sign-in page"; fi

step "menu entry, metainfo, page script and icons in place"
for f in /usr/bin/vucamera /usr/lib/vucamera/html/scripts/vuaccount.js /usr/share/applications/$ID.desktop \
         /usr/share/metainfo/$ID.metainfo.xml; do
  [ -e "$ROOT$f" ] || fail "$f missing"
done
[ "$(in_root readlink -f /usr/bin/vucamera)" = /usr/lib/vucamera/vucamera ] || fail "/usr/bin/vucamera link"
for n in 16 22 24 32 48 64 128 256 512; do
  f=/usr/share/icons/hicolor/${n}x${n}/apps/$ID.png
  [ -f "$ROOT$f" ] || fail "$f missing"
  file "$ROOT$f" | grep -q "PNG image data, $n x $n" || fail "$f is not $n x $n"
done
desktop-file-validate "$ROOT/usr/share/applications/$ID.desktop" || fail "installed menu entry"
echo "PASS: vucamera $VERSION and vucamera-sim install and run in a clean Debian 12 root"
