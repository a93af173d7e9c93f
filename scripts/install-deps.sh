#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing, so a machine that has them all is not touched.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev
  libplist-dev libsqlite3-dev sqlite3 zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libimobiledevice-dev libusbmuxd-dev usbmuxd libimobiledevice-utils
  poppler-utils libzip-dev libheif-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
