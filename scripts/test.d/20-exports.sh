#!/usr/bin/env bash
# The 32-bit DLL's export table and calling convention.
set -euo pipefail
cd "$(dirname "$0")/../.."
python3 scripts/check-exports.py build/win32/export_epd.dll
