#!/usr/bin/env bash
# Installs what is missing, builds from scratch and runs every test: the
# normal build, then the address and undefined-behaviour sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh

jobs=$(nproc)
for variant in build build-asan; do
  rm -rf "$variant"
  extra=()
  if [ "$variant" = build-asan ]; then
    extra=(-DOSTRA_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DOSTRA_BUILD_BENCHMARKS=OFF)
  fi
  echo "== $variant: configure and build"
  cmake -S . -B "$variant" -G Ninja "${extra[@]}" > "$variant.configure.log" || { cat "$variant.configure.log"; exit 1; }
  rm -f "$variant.configure.log"
  ninja -C "$variant" -j "$jobs"
  echo "== $variant: tests"
  (cd "$variant" && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1 \
     UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
     ctest --output-on-failure -j "$jobs")
done
