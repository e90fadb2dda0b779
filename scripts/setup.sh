#!/usr/bin/env bash
# Installs what the builds need and a fresh Debian machine lacks. Idempotent:
# packages already present are not fetched again.
set -euo pipefail

packages=(
  cmake ninja-build g++ ccache
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine64
  clang libclang-rt-14-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang-format clang-tidy
  gdb procps python3
  zlib1g-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# wine32 runs the shipped 32-bit build beside wine64 (wine64 hands a 32-bit
# program to the 32-bit loader); it comes from the i386 architecture.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  echo "setup: installing wine32:i386"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends wine32:i386
fi

if ! command -v wine64 >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  ln -sf /usr/lib/wine/wine64 /usr/local/bin/wine64
fi
echo "setup: done"
