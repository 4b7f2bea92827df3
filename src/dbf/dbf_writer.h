#pragma once

// CONTRACT: the DBF file writer, which writes new empty dBASE table files straight to disk.

#include <cstdint>
#include <string>
#include <vector>

#include "tables/field_defs.h"

namespace epd::dbf {

// One field descriptor as the writer needs it.
struct TDBFField {
  std::string Name;    // at most the first 10 bytes are written, as stored
  char FieldType = 0;  // 'C', 'N', 'F', 'L', 'D' or 'M'
  std::uint8_t Length = 0;
  std::uint8_t Decimals = 0;
};
using TDBFFieldDefs = std::vector<TDBFField>;

// Sizes `fields` to the definitions and converts each one (ftString -> C, ftInteger -> N 11,
// ftFloat -> N 9.2 by default, ftDate -> D 8, ftBoolean -> L 1, ...; other types stay empty).
void FieldDefsToDBFFields(const tables::FieldDefs& defs, TDBFFieldDefs& fields);

// Writes an empty table file of file version 3 (byte 0x83), 4 (0x03) or 5 (0x8B), and the memo
// file when a field is of type M. True when everything was written. Never raises.
// The language byte is written for versions 4 and 5 only; the last-update date is always
// 2002-01-14. A list with an entry whose letter is none of C, N, F, L, D, M, or whose header or
// record length would not fit in 16 bits, is refused (false) before anything touches the disk,
// as is any other version. The file is written complete under a scratch name (path + ".new")
// and then takes its name in one step, so no half-written table is ever left at `path`.
// `why`, when given, receives the reason of a false answer: the file and what the system said, or
// what the list or version lacks (code page 1251 text for the user).
bool CreateDBFFile(const std::string& path, int version, std::uint8_t language, const TDBFFieldDefs& fields,
                   std::string* why = nullptr);

// Writes the 1024-byte memo file beside the table file (extension replaced by ".DBT"). Its name
// field holds the table's base name, first 8 bytes, zero bytes after a shorter name.
bool CreateDBTFile(const std::string& path, std::string* why = nullptr);

}  // namespace epd::dbf
