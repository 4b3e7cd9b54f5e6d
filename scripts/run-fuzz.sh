#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds, starting from the
# seeds in fuzz/corpus/<area> and keeping what it finds in build-fuzz/corpus.
set -euo pipefail
bin=${1:-build-fuzz/fuzz}
seconds=${2:-60}
here=$(cd "$(dirname "$0")/.." && pwd)
for target in "$bin"/fuzz_*; do
  name=$(basename "$target")
  area=${name#fuzz_}
  work=$bin/../corpus/$area
  mkdir -p "$work" "$bin/../crashes"
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -artifact_prefix="$bin/../crashes/$name-" -print_final_stats=1 \
    "$work" "$here/fuzz/corpus/$area" 2>&1 | grep -E 'stat::number_of_executed_units|ERROR|SUMMARY|Done' || true
done
if compgen -G "$bin/../crashes/*" >/dev/null; then
  echo "fuzzing found problems: see $bin/../crashes" >&2
  exit 1
fi
