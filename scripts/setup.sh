#!/usr/bin/env bash
# Installs what the builds need and a fresh Debian machine lacks. Idempotent:
# packages already present are not fetched again.
#
#   setup.sh          everything the test command needs (every preset: the
#                     Windows cross compilers, wine64 and wine32, clang for
#                     the fuzz targets, the formatters)
#   setup.sh linux    only what the linux preset's build of mbus-host needs
#                     (the run command)
#
# Progress goes to standard error, so a caller's standard output stays its own.
set -euo pipefail
exec 1>&2

set_name=${1:-all}
case "$set_name" in
  linux | all) ;;
  *)
    echo "usage: setup.sh [linux]" >&2
    exit 2
    ;;
esac

# The linux configure reads the GoogleTest sources (googletest, small)
# even when only mbus-host is built; kor-packc needs zlib.
linux_packages=(cmake ninja-build g++ ccache zlib1g-dev googletest)
full_packages=(
  "${linux_packages[@]}"
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine64
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format clang-tidy
  gdb procps python3
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive

# Installs the packages of the list that are missing.
install_missing() {
  local missing=() p
  for p in "$@"; do
    installed "$p" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

if [ "$set_name" = linux ]; then
  install_missing "${linux_packages[@]}"
  echo "setup: done (linux)"
  exit 0
fi

install_missing "${full_packages[@]}"

# wine32 runs the shipped 32-bit build beside wine64 (wine64 hands a 32-bit
# program to the 32-bit loader); it comes from the i386 architecture.
if ! installed wine32:i386; then
  echo "setup: installing wine32:i386"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends wine32:i386
fi

if ! command -v wine64 >/dev/null 2>&1 && [ -x /usr/lib/wine/wine64 ]; then
  ln -sf /usr/lib/wine/wine64 /usr/local/bin/wine64
fi
echo "setup: done"
