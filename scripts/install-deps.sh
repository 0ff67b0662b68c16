#!/usr/bin/env bash
# Installs the Debian packages the build, the player and the tests need, if any is missing.
# With --fuzz, also clang and its runtime libraries (libFuzzer, sanitizers) for `make fuzz`.
set -euo pipefail
packages=(
  build-essential cmake pkg-config git
  qt6-base-dev qt6-qpa-plugins qt6-wayland fonts-dejavu-core
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-alsa gstreamer1.0-tools
  libcurl4-openssl-dev libssl-dev curl libgumbo-dev libtag1-dev zlib1g-dev libsqlite3-dev
  dict-freedict-eng-deu dict-freedict-deu-eng dictd dict
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth python3 desktop-file-utils appstream dbus libglib2.0-bin
  libxcb1-dev openbox trayer x11-utils xdotool
  pulseaudio pulseaudio-utils gstreamer1.0-plugins-base-apps openssl
)
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(clang libclang-rt-14-dev)
fi
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
