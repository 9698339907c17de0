#!/usr/bin/env bash
# Installs the Debian packages Tessellon builds, tests and runs with.
# Safe to run again: packages already present are skipped by apt.
set -euo pipefail

PKGS=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-multimedia-dev
  libqt6opengl6-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-libav
  libcurl4-openssl-dev ca-certificates
  libjpeg62-turbo-dev libgif-dev
  libcpp-httplib-dev libssl-dev zlib1g-dev libbrotli-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth
  dbus at-spi2-core python3-pyatspi
  help2man gzip desktop-file-utils appstream dpkg-dev
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
