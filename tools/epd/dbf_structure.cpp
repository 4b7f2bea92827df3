#include "dbf_structure.h"

#include <algorithm>

#include "platform/coding.h"
#include "platform/error.h"
#include "platform/files.h"

namespace epd::tool {
namespace {

std::string Name(const unsigned char* p, std::size_t size) {
  std::string name(reinterpret_cast<const char*>(p), size);
  name.resize(name.find('\0') == std::string::npos ? size : name.find('\0'));
  return name;
}

}  // namespace

DbfStructure ReadDbfStructure(const std::string& program_path) {
  auto file = platform::OpenFile(program_path, platform::FileMode::kRead);
  std::string bytes(32, '\0');
  if (file->ReadAt(0, bytes.data(), 32) < 32)
    throw Error("not a dBASE table (shorter than its header): " + program_path);
  const auto* h = reinterpret_cast<const unsigned char*>(bytes.data());
  DbfStructure s;
  s.version = h[0];
  s.year = h[1] + 1900;
  if (s.year < 1980) s.year += 100;  // writers that store the year modulo 100
  s.month = h[2];
  s.day = h[3];
  s.records = platform::GetLe32(h + 4);
  s.header_length = platform::GetLe16(h + 8);
  s.record_length = platform::GetLe16(h + 10);
  s.language = h[29];

  const bool level7 = (s.version & 0x07) == 4;
  const std::size_t first = level7 ? 68 : 32;
  const std::size_t size = level7 ? 48 : 32;
  std::string header(std::max<std::size_t>(s.header_length, first), '\0');
  header.resize(file->ReadAt(0, header.data(), header.size()));
  const auto* p = reinterpret_cast<const unsigned char*>(header.data());
  if (level7 && header.size() >= 64) s.language_name = Name(p + 32, 32);
  for (std::size_t at = first; at + size <= header.size() && p[at] != 0x0D; at += size) {
    DbfColumn c;
    if (level7) {
      c = {Name(p + at, 32), static_cast<char>(p[at + 32]), p[at + 33], p[at + 34]};
    } else {
      c = {Name(p + at, 11), static_cast<char>(p[at + 11]), p[at + 16], p[at + 17]};
    }
    s.columns.push_back(c);
  }
  return s;
}

std::string VersionName(std::uint8_t version) {
  switch (version) {
    case 0x03: return "dBASE III-V, no memo";
    case 0x83: return "dBASE III with memo";
    case 0x8B: return "dBASE IV/V with memo";
    case 0x04: return "dBASE 7";
    case 0x8C: return "dBASE 7 with memo";
    case 0xF5: return "FoxPro with memo";
    case 0x30:
    case 0x31:
    case 0x32: return "Visual FoxPro";
    default: return "unknown version";
  }
}

int CodePageOf(const DbfStructure& s) {
  if (s.language == 0x26 || s.language == 0x65) return 866;
  if (s.language_name.find("866") != std::string::npos) return 866;
  return 1251;
}

}  // namespace epd::tool
