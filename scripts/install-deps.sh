#!/usr/bin/env bash
# Installs the Debian packages that building, the demo and the tests need, if any are missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config                       # build
  qt6-base-dev qt6-multimedia-dev libgl-dev      # Qt 6 Widgets, Test, Multimedia
  libgtest-dev                                   # tests
  clang libclang-rt-14-dev                        # sanitizer and fuzzing build
  fonts-liberation                               # Arial's metric twin for the title
  xvfb openbox xdotool x11-utils                 # end-to-end tests under a real X server
  pulseaudio pulseaudio-utils                    # click sound test with a real sound server
  dbus-daemon at-spi2-core python3-pyatspi       # the output as a screen reader hears it
  util-linux coreutils procps iproute2           # unshare, timeout, pgrep, ip
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages. Run as root:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
