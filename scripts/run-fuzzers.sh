#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while (FUZZ_SECONDS each,
# default 60). New inputs go to a scratch corpus outside the repository;
# the repository's fuzz/corpus/<name>/ seeds each run. Crashes are written
# to the current folder by libFuzzer (crash-<hash>): fix the fault, then
# add the input to fuzz/corpus/<name>/ so `make test` replays it.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-60}
[ -n "$seconds" ] || seconds=60
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

status=0
for fuzzer in "$build"/fuzz/*_fuzzer; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer" _fuzzer)
  mkdir -p "$scratch/$name"
  echo "== $name: ${seconds}s"
  if ! "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 \
       "$scratch/$name" "$root/fuzz/corpus/$name"; then
    status=1
  fi
done
exit $status
