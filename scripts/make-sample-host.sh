#!/usr/bin/env bash
# Regenerates examples/host, the sample host directory, with the generator in examples/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux >/dev/null
cmake --build --preset linux -j2 --target make_sample_host
rm -rf examples/host
build/linux/examples/make_sample_host examples/host
echo "examples/host written"
