#!/usr/bin/env bash
# Installs every Debian package the project needs; packages already present are skipped.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-charts-dev qtkeychain-qt6-dev libqt6opengl6-dev libgl-dev libxkbcommon-dev
  libsqlite3-dev sqlite3
  libcurl4-openssl-dev curl zlib1g-dev
  libzip-dev libpugixml-dev nlohmann-json3-dev
  libcpp-httplib-dev libssl-dev
  libsodium-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-openpyxl python3-xlsxwriter unzip file dpkg-dev
  fonts-noto-cjk xvfb xauth qt6-translations-l10n dbus-daemon
  clang libclang-rt-14-dev clang-tidy
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
