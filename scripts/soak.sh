#!/usr/bin/env bash
# The site soak: bash scripts/soak.sh [--win32] MINUTES [SEED]
# Builds mbus-host and the plug-in (linux preset; --win32: the shipped 32-bit
# build, run under wine with a prefix of its own), then runs 16 data sources
# of 16 simulated meters each through real mbus-host processes with faults
# from SEED (default 1), SIGKILLs and restarts, and checks every delivered
# row against what the meters held (tests/soak/sitesoak.py). The build's
# output goes to stderr; the last line is the summary:
#   soak: M made, D delivered, L lost, U duplicated, K in kill windows, F faults, rss A->B KiB, threads C->E
# Exit status 0 only when nothing was lost or duplicated and nothing hung or
# crashed. The processes' rows and logs stay in SOAK_WORK (default
# build/PRESET/soak/seed-SEED-TIME).
set -euo pipefail
cd "$(dirname "$0")/.."
preset=linux
if [ "${1:-}" = --win32 ]; then
  preset=win32
  shift
fi
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: bash scripts/soak.sh [--win32] MINUTES [SEED]" >&2
  exit 2
fi
minutes=$1
seed=${2:-1}
{
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset --target mbus-host mbusplugin libmbus
} >&2
work=$(realpath -m "${SOAK_WORK:-build/$preset/soak/seed-$seed-$(date +%Y%m%d-%H%M%S)}")
if [ $preset = win32 ]; then
  exec python3 tests/soak/sitesoak.py --mbus-host build/win32/bin/mbus-host.exe --work "$work" \
    --minutes "$minutes" --seed "$seed" --emulator "$PWD/cmake/wine-run.sh $work/wine-prefix"
fi
exec python3 tests/soak/sitesoak.py --mbus-host build/linux/bin/mbus-host --work "$work" \
  --minutes "$minutes" --seed "$seed"
