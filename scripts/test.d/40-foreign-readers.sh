#!/usr/bin/env bash
# Tables read and written by programs nobody here wrote: GDAL's ogrinfo/ogr2ogr, Python's dbfread
# and dbf (Debian's /usr/bin/python3), Free Pascal's TDbf. Here a missing tool is a failure.
set -euo pipefail
cd "$(dirname "$0")/../.."
EPD_REQUIRE_FOREIGN=1 ./build/linux/epd_sql_tests --gtest_filter='ForeignReadersTest.*' --gtest_brief=1
