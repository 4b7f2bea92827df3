#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages. Does nothing when all is there.
set -euo pipefail
packages=(
  cmake make g++ clang libclang-rt-14-dev         # native and sanitizer/fuzzer builds
  libgtest-dev googletest libbenchmark-dev libcli11-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64         # the Windows DLLs
  g++-i686-linux-gnu qemu-user                    # the 32-bit tests: i686 Linux build under qemu-i386
  wine64 xvfb imagemagick x11-utils               # the Windows tests, their display and screenshots
  fonts-wine                                      # Wine's own fonts: MS Sans Serif, Marlett
  gdal-bin python3-dbfread python3-dbf            # foreign readers of our files
  fp-compiler fp-units-db                         # Free Pascal's TDbf, reader of level 7 tables
  python3
  python3-markdown                                # the guide's HTML page (scripts/build-guide.py)
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
