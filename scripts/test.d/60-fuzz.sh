#!/usr/bin/env bash
# Each libFuzzer target for a bounded time (EPD_FUZZ_SECONDS, default 30) from its seed corpus.
# A crash is kept under build/fuzz/crashes and fails the stage.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${EPD_FUZZ_SECONDS:-30}
# The targets write their tables to temporary files: memory-backed ones run several times faster.
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"
mkdir -p build/fuzz/crashes build/fuzz/work
status=0
for target in build/fuzz/fuzz/*_fuzz; do
  name=$(basename "$target" _fuzz)
  corpus=build/fuzz/work/$name
  mkdir -p "$corpus"
  seeds=fuzz/corpus/$name
  echo "-- fuzz $name for ${seconds}s"
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix=build/fuzz/crashes/"$name"- "$corpus" ${seeds:+$( [ -d "$seeds" ] && echo "$seeds")} \
       2>build/fuzz/work/$name.log; then
    echo "fuzz target $name failed:"; tail -40 build/fuzz/work/$name.log
    status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build/fuzz/work/$name.log || true
  fi
done
exit $status
