#!/usr/bin/env bash
# The project's run command: installs what the linux build lacks, builds
# mbus-host (which builds the plug-in and the protocol library it loads) and
# runs it with the given arguments. Without arguments it reads the built-in
# simulated meters for eight seconds ("read --for 8"). Set-up and build
# output go to standard error, so standard output holds only mbus-host's
# rows; the exit status is mbus-host's (see "mbus-host read --help").
#
# KOR_BUILD_DIR: the build folder (default build/linux), e.g. a folder of
# its own for the test that runs this script as a new user would.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${KOR_BUILD_DIR:-build/linux}

bash scripts/setup.sh linux >&2
cmake --preset linux -B "$build_dir" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)" --target mbus-host >&2
if [ $# -eq 0 ]; then
  set -- read --for 8
fi
exec "$build_dir/bin/mbus-host" "$@"
