#include "dbf_structure.h"

#include <algorithm>

#include "platform/coding.h"
#include "platform/files.h"

namespace epd::tool {
namespace {

constexpr std::size_t kPrefix = 32;
constexpr std::size_t kLevel7Prefix = 68;

std::string Name(const unsigned char* p, std::size_t size) {
  std::string name(reinterpret_cast<const char*>(p), size);
  name.resize(name.find('\0') == std::string::npos ? size : name.find('\0'));
  return name;
}
std::string Hex(unsigned v) {
  const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[(v >> 4) & 15] + digits[v & 15];
}

[[noreturn]] void Refuse(std::string reason) { throw NotATable{std::move(reason)}; }

// The versions the engine reads: dBASE III to V (low bits 3, 5, 6), level 7 (4), FoxPro.
bool KnownVersion(std::uint8_t v) {
  const unsigned level = v & 0x07;
  return level == 3 || level == 4 || level == 5 || level == 6 || v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 ||
         v == 0xFB;
}

bool NameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0xC0 || c == 0xA8 || c == 0xB8;
}
bool TypeLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || c == '@' || c == '+' || c == '0'; }

// One field descriptor at `d`; refuses one whose name or type is not a field's.
DbfColumn Descriptor(const unsigned char* d, bool level7, int number) {
  const std::size_t name_size = level7 ? 32 : 11;
  const std::size_t type_at = level7 ? 32 : 11;
  const std::string where = "field descriptor " + std::to_string(number);
  if (!NameStart(d[0])) Refuse(where + " has no name (first byte " + Hex(d[0]) + ")");
  for (std::size_t i = 1; i < name_size && d[i] != 0; ++i)
    if (d[i] < 0x20 || d[i] == 0x7F) Refuse(where + " has a control character in its name");
  if (!TypeLetter(d[type_at])) Refuse(where + " has no field type (byte " + Hex(d[type_at]) + ")");
  DbfColumn c{Name(d, name_size), static_cast<char>(d[type_at]), d[level7 ? 33 : 16], d[level7 ? 34 : 17]};
  // Clipper and others keep the high byte of a long character field's width in the decimals.
  if (!level7 && c.type == 'C') {
    c.length += c.decimals << 8;
    c.decimals = 0;
  }
  return c;
}

void ReadDescriptors(const std::string& header, bool level7, DbfStructure& s) {
  const auto* p = reinterpret_cast<const unsigned char*>(header.data());
  const std::size_t size = level7 ? 48 : 32;
  std::size_t at = level7 ? kLevel7Prefix : kPrefix;
  long long used = 1;  // the deletion flag
  for (; at < header.size() && p[at] != 0x0D; at += size) {
    if (at + size >= header.size())
      Refuse("its field descriptors have no end mark (0x0D) inside the header's " + std::to_string(header.size()) +
             " bytes");
    s.columns.push_back(Descriptor(p + at, level7, static_cast<int>(s.columns.size()) + 1));
    used += s.columns.back().length;
  }
  if (s.columns.empty()) Refuse("it has no field descriptors");
  if (used != s.record_length)
    Refuse("its fields take " + std::to_string(used) + " bytes of a record, the header says " +
           std::to_string(s.record_length));
}

}  // namespace

DbfStructure ReadDbfStructure(const std::string& program_path) {
  auto file = platform::OpenFile(program_path, platform::FileMode::kRead);
  const std::uint64_t file_size = file->Size();
  std::string bytes(kPrefix, '\0');
  if (file->ReadAt(0, bytes.data(), kPrefix) < kPrefix)
    Refuse("it has " + std::to_string(file_size) + " bytes, fewer than a table header's 32");
  const auto* h = reinterpret_cast<const unsigned char*>(bytes.data());
  DbfStructure s;
  s.version = h[0];
  if (!KnownVersion(s.version)) Refuse("its first byte " + Hex(s.version) + " is not a dBASE version");
  s.year = h[1] + 1900;
  if (s.year < 1980) s.year += 100;  // writers that store the year modulo 100
  s.month = h[2];
  s.day = h[3];
  s.records = platform::GetLe32(h + 4);
  s.header_length = platform::GetLe16(h + 8);
  s.record_length = platform::GetLe16(h + 10);
  s.language = h[29];

  const bool level7 = (s.version & 0x07) == 4;
  const std::size_t first = level7 ? kLevel7Prefix : kPrefix;
  if (s.header_length <= first || s.header_length > file_size)
    Refuse("its header length " + std::to_string(s.header_length) + " does not fit " +
           (s.header_length <= first ? "a header with fields" : "the file's " + std::to_string(file_size) + " bytes"));
  if (s.record_length == 0) Refuse("its record length is 0");
  const std::uint64_t records_end = s.header_length + static_cast<std::uint64_t>(s.records) * s.record_length;
  if (records_end > file_size)
    Refuse("its header counts " + std::to_string(s.records) + " records of " + std::to_string(s.record_length) +
           " bytes, the file holds only " + std::to_string((file_size - s.header_length) / s.record_length));

  std::string header(s.header_length, '\0');
  header.resize(file->ReadAt(0, header.data(), header.size()));
  if (level7) s.language_name = Name(reinterpret_cast<const unsigned char*>(header.data()) + 32, 32);
  ReadDescriptors(header, level7, s);
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
