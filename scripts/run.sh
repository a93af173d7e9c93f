#!/usr/bin/env bash
# Builds Ostra and runs it. Until the window exists this is the headless scan:
# it scans the first backup in ~/Library/Application Support/MobileSync/Backup,
# or, when there is none, a sample backup generated afresh inside the build
# tree (nothing is written into your home folder).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja > /dev/null
fi
ninja -C build ostra-scan ostra-make-backup > /dev/null

backup_root="$HOME/Library/Application Support/MobileSync/Backup"
target=""
if [ -d "$backup_root" ]; then
  target=$(find "$backup_root" -mindepth 1 -maxdepth 1 -type d ! -name '.*' | sort | head -n 1)
fi
if [ -z "$target" ]; then
  demo="$PWD/build/demo-home/Library/Application Support/MobileSync/Backup"
  rm -rf "$PWD/build/demo-home"
  target="$demo/00008030-0000000000000001"
  ./build/bin/ostra-make-backup --out "$target" --ios 10.3 --deleted
  echo "No backup in $backup_root; scanning a generated sample: $target" >&2
fi
exec ./build/bin/ostra-scan "$@" "$target"
