#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tables/name_index.h"

// The structure of a dBASE table file as read from its header: the family of the format, where
// the records lie, and each field's place and type. Parsing is defensive: it never reads outside
// the bytes it is given and takes what is readable from damaged or unusual headers.
namespace epd::tables {

enum class DbfFamily {
  kDbase3,  // dBASE III+ and the 32-byte-descriptor variants of IV and V (and Clipper and the like)
  kDbase7,  // dBASE level 7: 68-byte header, 48-byte descriptors, binary I, O, @, +
  kFoxPro,  // FoxPro 2 and Visual FoxPro: little-endian binary I, B, Y, T; .FPT memos
};

// How the text bytes of a table are coded. Tables marked with a DOS Cyrillic driver hold 866
// text, which the engine turns into 1251 when reading and back when writing, as the platform
// engine did; every other table's bytes are taken as they are.
enum class TextCoding { kAsIs, kCp866 };

struct FieldInfo {
  std::string name;          // as stored (code page 1251 bytes)
  char type = 'C';           // dBASE type letter
  std::uint32_t offset = 0;  // from the start of the record (the deletion flag is byte 0)
  std::uint32_t length = 0;  // bytes of the field inside the record (clipped to the record)
  std::uint32_t declared_length = 0;
  std::uint8_t decimals = 0;
  std::uint32_t descriptor_offset = 0;  // of the field's descriptor in the file
};

struct TableLayout {
  std::uint8_t version = 0;
  DbfFamily family = DbfFamily::kDbase3;
  TextCoding coding = TextCoding::kAsIs;
  std::uint32_t header_length = 0;  // offset of the first record
  std::uint32_t record_length = 1;  // deletion flag included
  std::uint32_t header_count = 0;   // record count stored in the header when it was read
  std::string language_driver;      // level 7 only
  std::uint8_t language_id = 0;     // byte 29
  std::vector<FieldInfo> fields;
  std::uint64_t signature = 0;  // hash of the field descriptors; tells structures apart
  NameIndex field_names;        // built by ParseLayout

  bool HasMemoFields() const;
  // Index of the (first) field with this name ignoring letter case, or -1.
  int FieldIndex(std::string_view name) const;
};

constexpr std::size_t kHeaderPrefix = 32;

// Parses the header bytes (the file's first bytes, as many as are available up to a sensible
// maximum). Raises a clear error naming `path` when the bytes are no dBASE table.
TableLayout ParseLayout(std::string_view path, const unsigned char* bytes, std::size_t size);

// How many header bytes ParseLayout wants to see at most.
constexpr std::size_t kMaxHeaderRead = 128 * 1024;

// True for field types that keep their value in the memo file.
bool IsMemoType(const TableLayout& layout, const FieldInfo& field);

}  // namespace epd::tables
