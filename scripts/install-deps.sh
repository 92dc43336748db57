#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need. Idempotent: packages
# already present are left alone and apt is not touched at all when nothing is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++
  libgtest-dev libgmock-dev libbenchmark-dev
  libeigen3-dev liblapack-dev liblbfgsb-dev
  libpng-dev nlohmann-json3-dev
  libtiff-dev libstb-dev libcli11-dev pkgconf libjpeg-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
