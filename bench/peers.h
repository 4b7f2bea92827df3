#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "bench_process.h"

// The peers the export benchmark holds one export against: GDAL's ogr2ogr -where and Python's
// dbf module (Debian's /usr/bin/python3), each writing the same invoice's header and lines into
// new .dbf files, where installed. Every run is checked by reading back what it wrote.
namespace epd::bench {

class Peers {
 public:
  // `base`: the host directory (ending in "/"); `work`: a directory of the peers' own.
  Peers(bool wanted, std::string base, std::filesystem::path work, std::string invoice, long lines);
  // One run of each peer that works; `counted`: the run is not the warm-up.
  void Round(bool counted);
  // (d) the peers' series, with their start-up times in the notes.
  std::vector<Series> Finish();

 private:
  std::string base_;
  std::filesystem::path work_;
  std::string invoice_;
  long lines_;
  bool have_gdal_, have_python_;
  Series gdal_, python_, gdal_start_, python_start_;
};

// Live records of a table, through the engine; -1 when it cannot be read.
long CountRows(const std::filesystem::path& path);

}  // namespace epd::bench
