#!/usr/bin/env bash
# The Windows tests: the x86_64 build of the library and its test program, under Wine.
set -euo pipefail
cd "$(dirname "$0")/../.."
cd build/win64
bash ../../scripts/wine-run.sh ./epd_win_tests.exe --gtest_brief=1 --gtest_filter='-WineDialogs*'
