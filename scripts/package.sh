#!/usr/bin/env bash
# The release package for a pharmacy: builds the release preset (win32: the i686 export_epd.dll
# and epd.exe, without symbols) and writes dist/export_epd-<version>-win32.zip with the DLL, the
# tool, the Russian guide as one HTML file with its pictures inside, the commented sample
# settings file in code page 1251 and SHA256SUMS.
#   bash scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"${EPD_JOBS:-$(nproc)}" --target export_epd epd
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/win32/CMakeCache.txt)
# Debian's interpreter, which has Debian's python3-markdown (another python3 may come first on PATH).
python=/usr/bin/python3
[ -x "$python" ] || python=python3
"$python" scripts/make-package.py --version "$version" --build build/win32 \
  --output "dist/export_epd-$version-win32.zip"
