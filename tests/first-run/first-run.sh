#!/usr/bin/env bash
# first-run.sh rows|no-library SOURCE_DIR BUILD_DIR
#
# rows: removes BUILD_DIR, runs the README's run command (bash
#   scripts/run.sh) with KOR_BUILD_DIR=BUILD_DIR and checks what a new user
#   sees: status 0, meter rows on standard output and nothing else there,
#   and a build folder holding only what the run command builds (mbus-host,
#   the plug-in, the protocol library; no test program).
# no-library: removes the protocol library from BUILD_DIR and checks that
#   mbus-host read fails with status 4 and a reason naming the library.
set -uo pipefail

mode=$1
source_dir=$2
build_dir=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "first-run: $*" >&2
  echo "--- stdout (head)" >&2
  head -20 "$scratch/out" >&2
  echo "--- stderr (tail)" >&2
  tail -30 "$scratch/err" >&2
  exit 1
}

case "$mode" in
  rows)
    rm -rf "$build_dir"
    start=$(date +%s)
    (cd "$source_dir" && KOR_BUILD_DIR="$build_dir" bash scripts/run.sh) >"$scratch/out" 2>"$scratch/err"
    status=$?
    echo "first-run: run.sh took $(($(date +%s) - start)) s, status $status"
    [ "$status" -eq 0 ] || fail "run.sh ended with status $status"
    # The table's rows: a heading line, then indented items; nothing else
    # (no set-up or build output) on standard output.
    rows=$(grep -Ec '^row [0-9]+, data source ' "$scratch/out" || true)
    [ "$rows" -gt 0 ] || fail "no meter rows on standard output"
    grep -Eq '^  DEVICE_ID +[0-9A-F]{8}$' "$scratch/out" || fail "no DEVICE_ID among the rows"
    other=$(grep -Ev '^(row [0-9]+, data source |  |$)' "$scratch/out" | head -3)
    [ -z "$other" ] || fail "standard output holds more than rows: $other"
    for f in mbus-host mbusplugin.so libmbus.so; do
      [ -f "$build_dir/bin/$f" ] || fail "the run command did not build $f"
    done
    for f in host_tests e2e_tests mbus-decode; do
      [ -e "$build_dir/bin/$f" ] && fail "the run command built $f, which it does not need"
    done
    echo "first-run: $rows rows"
    ;;
  no-library)
    [ -x "$build_dir/bin/mbus-host" ] || fail "no mbus-host in $build_dir (first_run.rows builds it)"
    rm -f "$build_dir/bin/libmbus.so"
    "$build_dir/bin/mbus-host" read --no-timing --for 2 >"$scratch/out" 2>"$scratch/err"
    status=$?
    [ "$status" -eq 4 ] || fail "mbus-host read ended with status $status, not 4"
    [ -s "$scratch/out" ] && fail "rows without the protocol library"
    reason=$(tail -1 "$scratch/err")
    case "$reason" in
      "mbus-host read: the plug-in sent no request"*"Unable to load API library"*libmbus.so*) ;;
      *) fail "the last line does not give the reason: $reason" ;;
    esac
    echo "first-run: $reason"
    ;;
  *)
    echo "usage: first-run.sh rows|no-library SOURCE_DIR BUILD_DIR" >&2
    exit 2
    ;;
esac
