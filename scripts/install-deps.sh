#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when one is
# missing, so a machine that has them all is not touched.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev
  libplist-dev libsqlite3-dev sqlite3 zlib1g-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libimobiledevice-dev libusbmuxd-dev usbmuxd libimobiledevice-utils ideviceinstaller libssl-dev
  poppler-utils libzip-dev libheif-dev
  locales tzdata
)

# The text-format tests check that sizes ignore the user's locale under a
# German one (a decimal comma), so that locale must exist; the date tests
# read a zone with summer time from tzdata.
ensure_locale() {
  if locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; then return 0; fi
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Generating the de_DE.UTF-8 locale"
  if [ -f /etc/locale.gen ]; then
    # locale-gen rebuilds every locale from this list: one made otherwise
    # would be dropped by its next run.
    if grep -qE '^# *de_DE\.UTF-8 UTF-8' /etc/locale.gen; then
      $sudo sed -i -E 's/^# *(de_DE\.UTF-8 UTF-8)/\1/' /etc/locale.gen
    elif ! grep -qE '^de_DE\.UTF-8 UTF-8' /etc/locale.gen; then
      echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    fi
    $sudo locale-gen
  else
    $sudo localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
  fi
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  ensure_locale
  exit 0
fi

echo "Installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
ensure_locale
