#!/usr/bin/env bash
# The project's run command: installs what is missing, builds the linux
# preset and runs mbus-host with the given arguments (default: "info", the
# plug-in's module information, parameters, parser items and log).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target mbus-host mbusplugin
if [ $# -eq 0 ]; then
  set -- info
fi
exec build/linux/bin/mbus-host "$@"
