#!/usr/bin/env bash
# The version resource of every Windows file we build (what Explorer's Properties page shows):
# the project's version, the names, the Russian description, the original file name.
set -euo pipefail
cd "$(dirname "$0")/../.."
version=$(sed -n 's/^project(export_epd VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
python3 scripts/check-version-resource.py --version "$version" \
  build/win32/export_epd.dll build/win32/tools/epd/epd.exe \
  build/win64/export_epd.dll build/win64/tools/epd/epd.exe
# and the check does compare: another version must fail it
if python3 scripts/check-version-resource.py --version 9.8.7 build/win32/export_epd.dll >/dev/null; then
  echo "21-version-resource: the check accepted a wrong version"
  exit 1
fi
