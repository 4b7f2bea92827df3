#!/usr/bin/env bash
# The 32-bit Linux build whose tests run under qemu stands for the DLL only while both compilers
# generate code alike. Compares what `-Q --help=target` says of every target option, given the
# options of cmake/i686-codegen.cmake, between the mingw compiler of the DLL and the Linux cross
# compiler; the differences the two systems' ABIs make (and that do not touch arithmetic) are
# listed below. Any other difference fails with its name.
set -euo pipefail
cd "$(dirname "$0")/.."
flags=$(sed -n 's/^set(EPD_I686_CODEGEN_FLAGS "\(.*\)")$/\1/p' cmake/i686-codegen.cmake)
[ -n "$flags" ] || { echo "check-i686-codegen: no EPD_I686_CODEGEN_FLAGS in cmake/i686-codegen.cmake"; exit 1; }
# Windows' calling and layout conventions, the stack probes Windows needs, and options that exist
# for one system only: none of them changes how a number is computed.
system_only='-mabi=|-maccumulate-outgoing-args|-malign-double|-mms-bitfields|-mstack-arg-probe|-mstack-protector-guard=|-mtls-direct-seg-refs|-mandroid|-mbionic|-mglibc|-mmusl|-muclibc|-mconsole|-mdll|-mnop-fun-dllimport|-mpe-aligned-commons|-mthreads|-municode|-mwin32|-mwindows'
options() {
  # shellcheck disable=SC2086
  "$1" $flags -Q --help=target | awk '/^  -m/ {print $1 "\t" $2}' | grep -Ev "^($system_only)\s" | sort
}
if ! diff <(options i686-w64-mingw32-g++-posix) <(options i686-linux-gnu-g++) >/tmp/check-i686-codegen.$$; then
  echo "check-i686-codegen: the two i686 compilers differ in (< DLL, > Linux):"
  cat /tmp/check-i686-codegen.$$
  rm -f /tmp/check-i686-codegen.$$
  exit 1
fi
rm -f /tmp/check-i686-codegen.$$
echo "check-i686-codegen: both compilers generate alike with: $flags"
