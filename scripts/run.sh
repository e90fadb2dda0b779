#!/usr/bin/env bash
# The project's run command: installs what is missing, builds the linux
# preset and runs mbus-host with the given arguments. Without arguments it
# reads the built-in simulated meters for a few seconds ("read --for 8")
# once the plug-in is the M-Bus module; with the generic module it prints
# the plug-in's module information, parameters, parser items and log
# ("info").
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target mbus-host mbusplugin
if [ $# -eq 0 ]; then
  if build/linux/bin/mbus-host info 2>/dev/null | grep -q '^Description: M-Bus$'; then
    set -- read --for 8
  else
    set -- info
  fi
fi
exec build/linux/bin/mbus-host "$@"
