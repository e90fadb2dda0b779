#!/usr/bin/env bash
# The project's test command: installs what is missing, configures and builds
# every preset, and runs the tests: all of linux, linux-asan and win64 (under
# wine64), every test but the soaks under linux-tsan, the soaks of the
# concurrency suites natively and under wine64, the fuzz targets briefly,
# and the win32 build (compiled and checked, never run).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

presets=(linux linux-asan linux-tsan fuzz win64 win32)
for preset in "${presets[@]}"; do
  echo "== configure and build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done

status=0
for preset in linux linux-asan linux-tsan win64 linux-soak win64-soak fuzz; do
  echo "== test: $preset"
  ctest --preset "$preset" || status=1
done
exit $status
