#!/usr/bin/env bash
# The 32-bit DLL's export table and calling convention, and its imports against the functions
# Windows 7 has; then the test of that import check.
set -euo pipefail
cd "$(dirname "$0")/../.."
python3 scripts/check-exports.py build/win32/export_epd.dll
python3 scripts/check_exports_test.py build/win32/export_epd.dll
