#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, run and test.
# Skips apt entirely when everything is already there.
set -euo pipefail

PACKAGES=(
  qtbase5-dev qtmultimedia5-dev libqt5multimedia5-plugins qtwebengine5-dev qt5keychain-dev
  qttools5-dev qttools5-dev-tools libsodium-dev libavcodec-dev libavutil-dev libswscale-dev
  libavformat-dev ffmpeg libssl-dev libcpp-httplib-dev xvfb xauth dbus gnome-keyring
  libsecret-tools pulseaudio pulseaudio-utils fonts-dejavu-core pkg-config cmake ninja-build
  ccache imagemagick clang libclang-rt-14-dev lld fonts-noto-cjk
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=300 install -y --no-install-recommends "${missing[@]}"
