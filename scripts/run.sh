#!/usr/bin/env bash
# Builds Ostra and starts it. When ~/Library/Application Support/MobileSync/Backup
# holds no backup, the application starts on a demo home folder inside the
# build tree, with two generated sample backups (an iOS 8 one with a
# Manifest.mbdb index and an iOS 14 one with Manifest.db, both with deleted
# rows), and with a simulated iPhone plugged in (written by ostra-make-device),
# so that the device pages work without a phone; nothing is written into your
# own home folder. Set OSTRA_SIMULATED_DEVICE yourself to choose a scenario.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja > /dev/null
fi
ninja -C build ostra ostra-make-backup ostra-make-device > /dev/null

backup_root="$HOME/Library/Application Support/MobileSync/Backup"
if [ -d "$backup_root" ] && find "$backup_root" -mindepth 1 -maxdepth 1 -type d ! -name '.*' | grep -q .; then
  exec ./build/bin/ostra "$@"
fi

demo_home="$PWD/build/demo-home"
demo="$demo_home/Library/Application Support/MobileSync/Backup"
if [ ! -f "$demo/.complete" ]; then
  rm -rf "$demo_home"
  ./build/bin/ostra-make-backup --out "$demo/00008030-0000000000000001" --ios 14.2 --deleted
  ./build/bin/ostra-make-backup --out "$demo/9a8b7c6d5e4f30211203a4b5c6d7e8f901234567" --ios 8.4 --deleted
  touch "$demo/.complete"
fi
# The stamp names the scenario's generation: a phone written by an older
# build (without its backup, apps, photos or cleaner files) is written anew.
if [ ! -f "$demo_home/simulated-iphone/.generation-3" ]; then
  rm -rf "$demo_home/simulated-iphone"
  ./build/bin/ostra-make-device --out "$demo_home/simulated-iphone" > /dev/null
  touch "$demo_home/simulated-iphone/.generation-3"
fi
echo "No backup in $backup_root; starting on the sample backups in $demo with a simulated iPhone" >&2
OSTRA_HOME="$demo_home" OSTRA_SIMULATED_DEVICE="${OSTRA_SIMULATED_DEVICE:-$demo_home/simulated-iphone}" \
  exec ./build/bin/ostra "$@"
