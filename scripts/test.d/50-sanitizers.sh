#!/usr/bin/env bash
# The native suite again, built by clang with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset asan >/dev/null
cmake --build --preset asan -j"$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/asan --output-on-failure -j"$(nproc)"
