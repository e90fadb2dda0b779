#!/usr/bin/env bash
# The project's test command: installs what is missing, builds the presets
# and runs every test, then prints how long each phase took.
#
# What runs where:
#   linux       every test natively (the new-user run and the short soak too),
#               then the concurrency soaks (linux-soak)
#   linux-asan  every test with the address and undefined-behaviour sanitizers
#   linux-tsan  every test but the soaks with the thread sanitizer
#   win32       the shipped build: every test under wine's 32-bit loader,
#               then its concurrency soaks (win32-soak)
#   win64       only the two DLLs (a release build in build/win64-dlls), for
#               the check of their import tables; the same Windows code runs
#               at 32 bits above
#   fuzz        the fuzz targets only, each briefly
# The builds run one after another on both cores. The tests mostly wait (on
# timers, the simulated bus, wine), so each preset's tests run beside the
# builds that follow, in two lanes (native and wine), one test phase at a
# time in each.
set -uo pipefail
cd "$(dirname "$0")/.."
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
# The test programs use precompiled headers; ccache caches them with these.
export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime

phases=()
status=0
log_dir=build/check-logs
mkdir -p "$log_dir"
rm -f "$log_dir"/*.log "$log_dir"/*.time

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
build_win64_dlls() {
  cmake -S . -B build/win64-dlls -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release >/dev/null &&
    cmake --build build/win64-dlls -j 2 --target mbusplugin libmbus
}

# queue LANE NAME COMMAND...: a test phase in the background, after the
# phase queued before it in the same lane has ended; its output goes to a
# log printed at the end (see wait_queues), its time and result to
# NAME.time. Two lanes: "native" and "wine" (the wine tests run one program
# at a time, so they take one core at most).
declare -A lane_pid
queued=()
pids=()
queue() {
  local lane=$1 name=$2 previous=${lane_pid[$1]:-}
  shift 2
  queued+=("$name")
  (
    # A sibling cannot be waited for: poll until it is gone.
    if [ -n "$previous" ]; then
      while kill -0 "$previous" 2>/dev/null; do sleep 1; done
    fi
    began=$SECONDS
    phase "$name" "$@" >"$log_dir/$name.log" 2>&1
    result=$?
    printf '%s (%s lane, began at %d s)\n' "${phases[-1]}" "$lane" \
      $((began - total_start)) >"$log_dir/$name.time"
    exit $result
  ) &
  lane_pid[$lane]=$!
  pids+=("$!")
}
wait_queues() {
  local pid name
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
  for name in "${queued[@]}"; do
    cat "$log_dir/$name.log"
    phases+=("$(cat "$log_dir/$name.time" 2>/dev/null || echo "$name: no result")")
  done
}

total_start=$SECONDS
phase "set-up" bash scripts/setup.sh || exit 1
phase "build linux" build linux
queue native "test linux" ctest --preset linux
queue native "test linux-soak" ctest --preset linux-soak
phase "build fuzz" build fuzz --target fuzz_targets
queue native "test fuzz" ctest --preset fuzz
phase "build win32" build win32
queue wine "test win32" ctest --preset win32
queue wine "test win32-soak" ctest --preset win32-soak
phase "build linux-asan" build linux-asan
queue native "test linux-asan" ctest --preset linux-asan
phase "build linux-tsan" build linux-tsan
queue native "test linux-tsan" ctest --preset linux-tsan
# Last, as its test takes no time: the sanitizer tests run beside it. A
# release build of its own (the import tables do not depend on debug
# information, which is most of the 64-bit compile time); build/win64 stays
# the developers' build.
phase "build win64 DLLs" build_win64_dlls
queue wine "test win64 DLL imports" ctest --test-dir build/win64-dlls -R "^shipped_dll_imports"
builds_done=$SECONDS
wait_queues

echo
echo "== phases (total $((SECONDS - total_start)) s; builds done at $((builds_done - total_start)) s, the test lanes beside them)"
printf '%s\n' "${phases[@]}"
exit $status
