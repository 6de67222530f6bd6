#!/usr/bin/env bash
# Installs the Debian packages that building, the demo and the tests need, if any are missing.
# The arm64 build takes that architecture's libraries from Debian's multiarch packages (:arm64),
# installed beside the machine's own once dpkg knows the architecture.
set -euo pipefail

packages=(
  cmake g++ make pkg-config                       # build
  qt6-base-dev libgl-dev libpulse-dev            # Qt 6 Widgets and Test, the sound client library
  qt6-translations-l10n                          # Qt's own texts in German, built in
  libgtest-dev                                   # tests
  g++-mingw-w64-x86-64-posix googletest          # the Windows build, GoogleTest from its sources
  wine wine64 fonts-wine                         # running the Windows build's tests
  wixl msitools zip                              # the Windows installer and zip
  icoutils liblnk-utils unzip                    # their tests: version information, shortcut
  clang libclang-rt-14-dev                        # sanitizer and fuzzing build
  fonts-liberation                               # Arial's metric twin for the title
  fonts-dejavu-core                              # a desktop font wider than Arial, for the fit tests
  xvfb openbox xdotool x11-utils                 # end-to-end tests under a real X server
  xclip                                          # the Windows build's output read as a user copies it
  libxcb1-dev                                    # the window-wait benchmark pings the window itself
  pulseaudio pulseaudio-utils                    # click sound test with a real sound server
  util-linux coreutils procps iproute2           # unshare, timeout, pgrep, ip
  nftables                                       # a board switched off: its packets dropped
  dbus-daemon at-spi2-core python3-pyatspi       # what a screen reader sees, over AT-SPI
  libcpp-httplib-dev curl                        # the simulator's web page, and its tests
  help2man dpkg-dev                              # man page from --help; cpack's dpkg-shlibdeps
  lintian desktop-file-utils appstream man-db    # checks of the package and its files
  g++-aarch64-linux-gnu qemu-user-static         # the arm64 build, its programs run under emulation
  qt6-base-dev:arm64 libgl-dev:arm64 libpulse-dev:arm64 libgtest-dev:arm64 libcpp-httplib-dev:arm64
  pkgconf:arm64                                  # aarch64-linux-gnu-pkg-config
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

add_architecture=
dpkg --print-foreign-architectures | grep -qx arm64 || add_architecture="dpkg --add-architecture arm64"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages. Run as root:" >&2
  echo "  ${add_architecture:+sudo $add_architecture && }sudo apt-get update" \
    "&& sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
$add_architecture
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
