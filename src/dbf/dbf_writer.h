#pragma once

// CONTRACT: the DBF file writer, which writes new empty dBASE table files straight to disk.

#include <cstdint>
#include <string>
#include <vector>

#include "tables/field_defs.h"

namespace epd::dbf {

// One field descriptor as the writer needs it.
struct TDBFField {
  std::string Name;        // at most the first 10 bytes are written, as stored
  char FieldType = 0;      // 'C', 'N', 'F', 'L', 'D' or 'M'
  std::uint8_t Length = 0;
  std::uint8_t Decimals = 0;
};
using TDBFFieldDefs = std::vector<TDBFField>;

// Sizes `fields` to the definitions and converts each one (ftString -> C, ftInteger -> N 11,
// ftFloat -> N 9.2 by default, ftDate -> D 8, ftBoolean -> L 1, ...; other types stay empty).
void FieldDefsToDBFFields(const tables::FieldDefs& defs, TDBFFieldDefs& fields);

// Writes an empty table file of file version 3 (byte 0x83), 4 (0x03) or 5 (0x8B), and the memo
// file when a field is of type M. True when everything was written. Never raises.
bool CreateDBFFile(const std::string& path, int version, std::uint8_t language, const TDBFFieldDefs& fields);

// Writes the 1024-byte memo file beside the table file (extension replaced by ".DBT").
bool CreateDBTFile(const std::string& path);

}  // namespace epd::dbf
