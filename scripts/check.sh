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
#   win64       only the two DLLs, for the check of their import tables; the
#               same Windows code runs at 32 bits above
#   fuzz        the fuzz targets only, each briefly
# The builds run one after another on both cores. The tests mostly wait (on
# timers, the simulated bus, wine), so each preset's tests run in a queue
# beside the builds that follow, one test phase at a time, in order.
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

# queue NAME COMMAND...: a test phase in the background, after the phase
# queued before it has ended; its output goes to a log that is printed at
# the end (see wait_queue), its time and result to NAME.time.
queued=()
queue_pid=
queue() {
  local name=$1 previous=$queue_pid
  queued+=("$name")
  (
    # A sibling cannot be waited for: poll until it is gone.
    if [ -n "$previous" ]; then
      while kill -0 "$previous" 2>/dev/null; do sleep 1; done
    fi
    queued_at=$SECONDS
    phase "$@" >"$log_dir/$name.log" 2>&1
    result=$?
    printf '%s (beside the builds, began at %d s)\n' "${phases[-1]}" \
      $((queued_at - total_start)) >"$log_dir/$name.time"
    exit $result
  ) &
  queue_pid=$!
  pids+=("$queue_pid")
}
pids=()
wait_queue() {
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
queue "test linux" ctest --preset linux
queue "test linux-soak" ctest --preset linux-soak
phase "build win32" build win32
queue "test win32" ctest --preset win32
queue "test win32-soak" ctest --preset win32-soak
phase "build linux-asan" build linux-asan
queue "test linux-asan" ctest --preset linux-asan
phase "build linux-tsan" build linux-tsan
queue "test linux-tsan" ctest --preset linux-tsan
phase "build win64 DLLs" build win64 --target mbusplugin libmbus
queue "test win64 DLL imports" ctest --preset win64 -R "^shipped_dll_imports"
phase "build fuzz" build fuzz --target fuzz_targets
queue "test fuzz" ctest --preset fuzz
builds_done=$SECONDS
wait_queue

echo
echo "== phases (total $((SECONDS - total_start)) s; builds done at $((builds_done - total_start)) s, the test queue beside them)"
printf '%s\n' "${phases[@]}"
exit $status
