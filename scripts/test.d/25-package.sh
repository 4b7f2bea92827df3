#!/usr/bin/env bash
# The release package, made by the one command a release takes, then unpacked and checked as a
# pharmacy gets it: names, checksums, the 32-bit files without symbols with their version
# resource and export table, the sample settings (code page 1251, read back through the epd
# tool), the guide opening on its own.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/package.sh
version=$(sed -n 's/^project(export_epd VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
python3 scripts/check-package.py --version "$version" --epd build/linux/tools/epd/epd \
  "dist/export_epd-$version-win32.zip"
