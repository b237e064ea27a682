#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests and the demo
# need and the machine lacks. Safe to run again.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev libxcb1-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libgif-dev imagemagick
  nginx-light tinyproxy curl
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core
  python3 libreoffice-calc-nogui libreoffice-writer-nogui
  dbus
  poppler-utils fonts-liberation
  libpsl-dev libpsl5 publicsuffix
  acl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
