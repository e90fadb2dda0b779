#!/usr/bin/env bash
# soak.sh RUNS DEADLINE -- COMMAND [ARGS...]
# Runs COMMAND RUNS times, one after the other, each in a process group of
# its own. A run that fails fails the soak; a run still going after DEADLINE
# seconds is a hang: the state of every thread of every process of that run
# is printed (kernel state, wait channel, system call and, where gdb is
# installed, each thread's stack; for a wine process also the Windows frames,
# winstack.py), then the run is killed and the soak fails.
set -u
here=$(cd "$(dirname "$0")" && pwd)
runs=$1
deadline=$2
shift 3

dump_threads() {
  local group=$1 pid task
  for pid in $(pgrep -g "$group"); do
    echo "== process $pid: $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)"
    for task in /proc/"$pid"/task/*; do
      [ -d "$task" ] || continue
      printf '   thread %s %-16s state %s wchan %s syscall %s\n' "${task##*/}" \
        "$(cat "$task/comm" 2>/dev/null)" "$(awk '{print $3}' "$task/stat" 2>/dev/null)" \
        "$(cat "$task/wchan" 2>/dev/null)" "$(cut -d' ' -f1-4 "$task/syscall" 2>/dev/null)"
    done
    if command -v gdb >/dev/null 2>&1; then
      timeout 60 gdb -p "$pid" -batch -nx -ex "thread apply all bt 30" 2>/dev/null |
        grep -E '^(Thread|#)' | sed 's/^/   /'
      # A wine process: gdb sees only wine's Unix side; the Windows frames
      # come from each thread's Windows stack.
      if grep -q '\.exe' "/proc/$pid/cmdline" 2>/dev/null && command -v python3 >/dev/null 2>&1; then
        timeout 120 python3 "$here/winstack.py" "$pid" 2>/dev/null
      fi
    fi
  done
}

start=$(date +%s)
for ((run = 1; run <= runs; run++)); do
  log=$(mktemp)
  setsid "$@" >"$log" 2>&1 &
  child=$!
  limit=$(($(date +%s) + deadline))
  while kill -0 "$child" 2>/dev/null && [ "$(date +%s)" -lt "$limit" ]; do
    sleep 0.05
  done
  if kill -0 "$child" 2>/dev/null; then
    echo "soak: run $run of $runs passed its deadline of ${deadline}s: $*"
    tail -n 20 "$log"
    dump_threads "$child"
    kill -9 -- -"$child" 2>/dev/null
    wait "$child" 2>/dev/null
    rm -f "$log"
    exit 1
  fi
  wait "$child"
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "soak: run $run of $runs failed with status $status: $*"
    tail -n 60 "$log"
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
done
echo "soak: $runs runs in $(($(date +%s) - start))s, none hung: $*"
