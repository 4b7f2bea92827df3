#!/usr/bin/env bash
# The native unit and end-to-end tests.
set -euo pipefail
cd "$(dirname "$0")/../.."
ctest --test-dir build/linux --output-on-failure -j"$(nproc)"
