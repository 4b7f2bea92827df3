#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The header of a dBASE table file as `epd dbf` shows it: version, date of last update, counts
// and field descriptors (32-byte ones of levels III to V, 48-byte ones of level 7).
namespace epd::tool {

struct DbfColumn {
  std::string name;  // as stored (code page 1251 or ASCII)
  char type = 0;
  int length = 0;
  int decimals = 0;
};

struct DbfStructure {
  std::uint8_t version = 0;
  int year = 0, month = 0, day = 0;
  std::uint32_t records = 0;  // deleted ones included
  std::uint16_t header_length = 0;
  std::uint16_t record_length = 0;
  std::uint8_t language = 0;  // language driver byte (levels III to V)
  std::string language_name;  // level 7: the driver's name ("DB866RU0")
  std::vector<DbfColumn> columns;
};

// The file's bytes are no dBASE table; the reason says which part of the header shows it.
struct NotATable {
  std::string reason;
};

// Reads and checks the header: a version byte of a dBASE (or FoxPro) table, lengths that agree
// with each other and with the file's size, and well-formed field descriptors ending in 0x0D.
// Raises NotATable when they are not, epd::Error when the file cannot be read.
DbfStructure ReadDbfStructure(const std::string& program_path);

std::string VersionName(std::uint8_t version);
// The code page the table's texts are in, from its language driver: 866 or 1251 (the default).
int CodePageOf(const DbfStructure& structure);

}  // namespace epd::tool
