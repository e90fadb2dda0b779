#!/usr/bin/env bash
# Shows, without any of the project's code, the exit hang that a thread_local
# with a destructor causes in a DLL built with the statically linked mingw
# runtime: builds the demo twice (such a thread_local, and a plain pointer)
# and runs each RUNS times under wine64, counting the runs that never end.
# Not part of the tests (it hangs on purpose). Usage: run.sh [RUNS]
set -u
runs=${1:-20}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
cxx=x86_64-w64-mingw32-g++-posix
$cxx -O2 -shared -static -o "$work/destructor.dll" "$here/demo_dll.cpp"
$cxx -O2 -shared -static -DDEMO_PLAIN -o "$work/plain.dll" "$here/demo_dll.cpp"
$cxx -O2 -static -o "$work/demo.exe" "$here/demo_exe.cpp"
export WINEPREFIX=${WINEPREFIX:-$work/prefix} WINEDEBUG=-all
for dll in destructor plain; do
  hung=0
  for ((i = 0; i < runs; i++)); do
    (cd "$work" && timeout 20 wine64 demo.exe "$dll.dll" >/dev/null 2>&1)
    [ $? -eq 124 ] && hung=$((hung + 1))
  done
  echo "$dll.dll: $hung of $runs runs never ended"
done
[ "$WINEPREFIX" = "$work/prefix" ] && wineserver -k 2>/dev/null
rm -rf "$work"
