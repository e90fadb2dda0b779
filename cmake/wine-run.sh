#!/bin/sh
# Runs one Windows program (32 or 64 bits) under wine64 with the prefix given as first
# argument (inside the build folder) and wine's own debug output off.
# The prefix is created once, under a lock, so parallel tests share it.
set -e
mkdir -p "$1"
WINEPREFIX=$(cd "$1" && pwd)
shift
PATH=$PATH:/usr/lib/wine
export PATH WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  flock "$WINEPREFIX.lock" sh -c \
    '[ -f "$WINEPREFIX/system.reg" ] || { wine64 wineboot --init >/dev/null 2>&1; wineserver -w; }'
fi
exec wine64 "$@"
