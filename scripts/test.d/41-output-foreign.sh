#!/usr/bin/env bash
# Output tables as other programs read them: GDAL's ogrinfo and Python's dbfread must be present
# and must read every file version the DBF writer makes, filled through the engine.
set -euo pipefail
cd "$(dirname "$0")/../.."
EPD_REQUIRE_FOREIGN=1 build/linux/epd_export_tests --gtest_brief=1 --gtest_filter='*OutputForeign*'
