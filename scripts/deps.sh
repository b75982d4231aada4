#!/usr/bin/env bash
# Installs the Debian packages Ombrel needs to build, run and test; quick when all are present.
set -euo pipefail
packages=(
  cmake ninja-build g++ make pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6dbus6 qt6-qpa-plugins
  nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  libx11-dev libxi-dev libxtst-dev libxrandr-dev libxext-dev libevdev-dev libpulse-dev pulseaudio
  libudev-dev libx11-xcb-dev libdbus-1-dev
  dbus dbus-x11 xvfb openbox x11-utils x11-xserver-utils wmctrl xdotool trayer xterm
  clang libclang-rt-14-dev fonts-dejavu-core
  dpkg-dev file lintian desktop-file-utils appstream
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  # Waits for another apt run to finish rather than failing at once.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=300 install -y -qq \
    --no-install-recommends "${missing[@]}"
fi
