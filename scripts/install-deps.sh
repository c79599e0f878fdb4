#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Vexa need.
# Does nothing when every package is already present.
set -euo pipefail
pkgs=(
  cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libqt6test6 libgl-dev
  libcurl4-openssl-dev libcpp-httplib-dev
  libmodbus-dev
  clang libclang-rt-14-dev
  xvfb xauth fonts-wqy-microhei
  dpkg-dev file nginx-light
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
