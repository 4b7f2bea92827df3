#!/usr/bin/env bash
# Every test of the project, from a fresh machine: installs what is missing, builds the Linux,
# Windows (i686 and x86_64) and sanitizer builds, and runs each stage in scripts/test.d in order.
# A stage is a script that exits non-zero on failure. EPD_STAGES="10 20" runs only those.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)
for preset in linux win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j"$jobs"
done
failed=()
for stage in scripts/test.d/*.sh; do
  name=$(basename "$stage" .sh)
  if [ -n "${EPD_STAGES:-}" ] && ! [[ " $EPD_STAGES " == *" ${name%%-*} "* ]]; then continue; fi
  echo "== stage $name"
  start=$(date +%s)
  if bash "$stage"; then
    echo "== stage $name passed ($(( $(date +%s) - start )) s)"
  else
    echo "== stage $name FAILED ($(( $(date +%s) - start )) s)"
    failed+=("$name")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "FAILED stages: ${failed[*]}"
  exit 1
fi
echo "all stages passed"
