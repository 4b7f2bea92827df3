#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The library state: the values that live between calls. InitializeEPD is their only writer;
// before it runs every text is empty, every flag false and charlength 0. Nothing below the
// export reads it: what the layers below need (a directory, an option) is handed to them.
namespace epd::exporter {

// Where things are. Code page 1251 texts ending in a backslash, so paths are built by plain
// concatenation.
struct Places {
  std::string base_directory;
  std::string orders_directory;  // base + "ORDERS\"
  std::string data_directory;    // base + "DATA\"
  // EPD/Export_Dir with a closing backslash; empty when the key is empty or missing, and the
  // export then refuses to run instead of writing into the process's current directory.
  std::string export_directory;
};

// The options InitializeEPD takes a snapshot of (the export switch, the mapping and the levels
// are read from the settings file at every export instead).
struct Options {
  bool bDOScoding = false;
  bool manyfiles = false;
  bool singlefile = false;
  bool seller = false;
  bool bAutoExportEPD = false;
  bool bchangecncode = false;
  std::uint8_t charlength = 0;
};

struct LibraryState {
  Places places;
  Options options;
};

// The process-wide state, as the last InitializeEPD left it.
const LibraryState& State();

// Fills the state from the base directory and DATA\export_epd.ini. An empty base directory
// leaves every directory empty (nothing is then read from or written to any place but the
// defaults); the options are still read, which then gives their defaults.
void InitializeEPD(std::string_view base_path);

// Appends a backslash unless the text is empty or already ends in one.
std::string WithClosingBackslash(std::string text);

}  // namespace epd::exporter
