#!/usr/bin/env bash
# The site soak: bash scripts/soak.sh MINUTES [SEED]
# Builds mbus-host and the plug-in (linux preset), then runs 16 data sources
# of 16 simulated meters each through real mbus-host processes with faults
# from SEED (default 1), SIGKILLs and restarts, and checks every delivered
# row against what the meters held (tests/soak/sitesoak.py). The build's
# output goes to stderr; the last line is the summary:
#   soak: M made, D delivered, L lost, U duplicated, K in kill windows, F faults, rss A->B KiB, threads C->E
# Exit status 0 only when nothing was lost or duplicated and nothing hung or
# crashed. The processes' rows and logs stay in SOAK_WORK (default
# build/linux/soak/seed-SEED-TIME).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: bash scripts/soak.sh MINUTES [SEED]" >&2
  exit 2
fi
minutes=$1
seed=${2:-1}
{
  cmake --preset linux >/dev/null
  cmake --build --preset linux --target mbus-host mbusplugin libmbus
} >&2
work=${SOAK_WORK:-build/linux/soak/seed-$seed-$(date +%Y%m%d-%H%M%S)}
exec python3 tests/soak/sitesoak.py --mbus-host build/linux/bin/mbus-host --work "$work" \
  --minutes "$minutes" --seed "$seed"
