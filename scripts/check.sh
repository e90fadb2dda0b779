#!/usr/bin/env bash
# The project's test command: installs what is missing, builds the presets
# and runs every test, then prints how long each phase took.
#
# What runs where:
#   linux       every test natively (the new-user run and the short soak too)
#   linux-asan  every test with the address and undefined-behaviour sanitizers
#   linux-tsan  every test but the soaks with the thread sanitizer
#   win32       the shipped build: every test under wine's 32-bit loader,
#               then its concurrency soaks (win32-soak)
#   win64       only the two DLLs, for the check of their import tables; the
#               same Windows code runs at 32 bits above
#   fuzz        the fuzz targets only, each briefly
#   linux-soak  the concurrency soaks natively
# A test preset that runs under wine uses one core; the next build runs
# beside it on the other.
set -uo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
# The test programs use precompiled headers; ccache caches them with these.
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

phases=()
status=0
log_dir=build/check-logs
mkdir -p "$log_dir"

# phase NAME COMMAND...: runs COMMAND, records its time and result.
phase() {
  local name=$1 start=$SECONDS result
  shift
  echo "== $name"
  "$@"
  result=$?
  phases+=("$(printf '%-28s %5d s  %s' "$name" $((SECONDS - start)) \
    "$([ $result -eq 0 ] && echo ok || echo "FAILED ($result)")")")
  [ $result -eq 0 ] || status=1
  return $result
}

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" "${@:2}"
}

# background_phase NAME COMMAND...: phase in the background, its output in a
# log printed once it ends (see wait_background).
background_pid=
background_name=
background_phase() {
  background_name=$1
  (
    phase "$@" >"$log_dir/$1.log" 2>&1
    result=$?
    printf '%s\n' "${phases[-1]}" >"$log_dir/$1.time"
    exit $result
  ) &
  background_pid=$!
}
wait_background() {
  [ -n "$background_pid" ] || return 0
  wait "$background_pid" || status=1
  cat "$log_dir/$background_name.log"
  phases+=("$(cat "$log_dir/$background_name.time") (beside the build)")
  background_pid=
}

total_start=$SECONDS
phase "set-up" bash scripts/setup.sh || exit 1
phase "build win32" build win32
background_phase "test win32" ctest --preset win32
phase "build linux" build linux
wait_background
background_phase "test win32-soak" ctest --preset win32-soak
phase "test linux" ctest --preset linux
phase "build linux-asan" build linux-asan
wait_background
phase "test linux-asan" ctest --preset linux-asan
phase "build linux-tsan" build linux-tsan
phase "test linux-tsan" ctest --preset linux-tsan
phase "build fuzz" build fuzz --target fuzz_targets
phase "test fuzz" ctest --preset fuzz
phase "build win64 DLLs" build win64 --target mbusplugin libmbus
phase "test win64 DLL imports" ctest --preset win64 -R "^shipped_dll_imports"
phase "test linux-soak" ctest --preset linux-soak

echo
echo "== phases (total $((SECONDS - total_start)) s)"
printf '%s\n' "${phases[@]}"
exit $status
