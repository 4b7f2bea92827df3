#!/usr/bin/env bash
# The export benchmark at a small size: every measurement runs once on a small generated host at
# both table levels, the peers too where installed, and every result is checked (exports answer
# true, show no message, write the expected records). No timing is asserted here.
set -euo pipefail
cd "$(dirname "$0")/../.."
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
./build/linux/bench/export_bench --smoke --dir="$dir"
