#!/usr/bin/env bash
# The order of the layers: every #include of the sources points down it (scripts/check-layers.py),
# and the check itself fails on includes against the order (scripts/tests).
set -euo pipefail
cd "$(dirname "$0")/../.."
python3 -m unittest discover -s scripts/tests -p '*_test.py'
python3 scripts/check-layers.py
