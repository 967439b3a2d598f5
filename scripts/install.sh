#!/usr/bin/env bash
# Builds the programs for this machine's Debian release, packs them as a .deb and installs it:
# the packages the build needs, an optimised build (as the tests run it: -O3 trips a false
# warning of GCC 12) without tests or benchmarks, stripped when packed, then apt. The
# package's library dependencies are read from the binaries, so it suits the release it was
# built on (Debian 12, or the newer one a Linux subsystem of Windows may carry).
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-charts-dev qtkeychain-qt6-dev libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libsqlite3-dev libcurl4-openssl-dev zlib1g-dev libzip-dev libpugixml-dev nlohmann-json3-dev
  libcpp-httplib-dev libssl-dev libsodium-dev dpkg-dev file
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "install: installing the build's packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="$PWD/build-release"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZUVEMO_BUILD_TESTS=OFF -DZUVEMO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)"
rm -f "$build"/zuvemo_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/zuvemo_*.deb)
# The recommended fonts and helpers come along: without a Japanese font the windows show boxes.
$SUDO apt-get install -y "$deb"
echo "install: installed $(basename "$deb"); start it with pro_melbat or from the menu (Zuvemo)"
