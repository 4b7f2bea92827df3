#!/usr/bin/env bash
# The native tests built as 32-bit programs with the DLL's code generation (32-bit size_t, long
# and pointers, x87 arithmetic; cmake/i686-codegen.cmake) and run under qemu-i386, as this
# machine's kernel runs no 32-bit program itself. Builds build/linux-i686 first.
set -euo pipefail
cd "$(dirname "$0")/../.."
bash scripts/check-i686-codegen.sh
cmake --preset linux-i686 >/dev/null
cmake --build --preset linux-i686 -j"$(nproc)"

# The DLL's own build must compile with the same optimisation and code generation options.
if [ -f build/win32/compile_commands.json ]; then
  python3 - <<'PY'
import json, shlex, sys
def flags(build):
    for entry in json.load(open(build + "/compile_commands.json")):
        if entry["file"].endswith("src/tables/number_text.cpp"):
            words = shlex.split(entry["command"])
            # Position-independent code and symbol visibility are the systems' own matters, as is
            # mingw's handling of inline functions of dllexport classes.
            return sorted(w for w in words if w.startswith(("-O", "-m", "-f"))
                          and w not in ("-fPIC", "-fno-keep-inline-dllexport") and not w.startswith("-fvisibility"))
    sys.exit("15-i686-qemu: number_text.cpp not in %s/compile_commands.json" % build)
dll, linux = flags("build/win32"), flags("build/linux-i686")
if dll != linux:
    sys.exit("15-i686-qemu: the DLL is compiled with %s, the qemu build with %s" % (dll, linux))
print("15-i686-qemu: DLL and qemu build compile with", " ".join(dll))
PY
else
  echo "15-i686-qemu: no build/win32 to compare options with"
fi

# Each layer's test program in one run (build/linux-i686/epd_*_tests start them under qemu-i386):
# one emulator start a program instead of one a test. Tests that user-mode emulation cannot run
# would be left out here by name (a gtest negative filter); there are none at present.
skipped=''
status=0
for program in build/linux-i686/epd_*_tests; do
  case $program in *.i686) continue ;; esac
  echo "-- $(basename "$program")"
  "$program" --gtest_brief=1 ${skipped:+--gtest_filter=-$skipped} || status=1
done
exit $status
