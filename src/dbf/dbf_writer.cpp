#include "dbf/dbf_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/coding.h"
#include "platform/replace_file.h"
#include "platform/text.h"

namespace epd::dbf {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr std::size_t kNameSize = 10;
constexpr std::size_t kMemoBlockSize = 1024;
constexpr std::size_t kMemoNameSize = 8;

// Every table this writer makes carries the same last-update date, 2002-01-14.
constexpr std::array<std::uint8_t, 3> kLastUpdate = {0x66, 0x01, 0x0E};

std::optional<std::uint8_t> VersionByte(int version) {
  switch (version) {
    case 3: return 0x83;
    case 4: return 0x03;
    case 5: return 0x8B;
    default: return std::nullopt;
  }
}

bool IsKnownLetter(char type) {
  return type == 'C' || type == 'N' || type == 'F' || type == 'L' || type == 'D' || type == 'M';
}

// False, with the reason given to the caller that asked for it.
bool Refuse(std::string* why, std::string reason) {
  if (why != nullptr) *why = std::move(reason);
  return false;
}

std::uint8_t WidthOf(const TDBFField& field) {
  if (field.FieldType == 'M') return 10;
  if (field.FieldType == 'D') return 8;
  return field.Length;
}

// Writes `content` as the whole file at `path`. The bytes go to a sibling file first, which then
// takes the name in one step: a reader, or a later export after a crash, finds the complete new
// file or none, never a half-written header; the bytes reach the disk before the name does, and
// the name before the call returns, so that a power failure leaves no name without its bytes
// either. A file already at `path` that cannot be replaced so (on Windows, one another program
// holds open) is overwritten in place instead; a new file is never made in place.
bool WriteWholeFile(const std::string& path, const std::string& content, std::string* why) {
  try {
    platform::ReplaceFile(
        path, content,
        platform::ReplaceOptions{.sync = true, .in_place = platform::ReplaceOptions::InPlace::kIfRenameRefused});
    return true;
  } catch (const std::exception& e) {
    return Refuse(why, e.what());
  } catch (...) {
    return Refuse(why, "Не удалось записать файл "_cp + path);
  }
}

// "dir\name.dbf" -> "dir\name.DBT"; a file name without a dot gets ".DBT" appended.
std::string MemoPathOf(const std::string& path) {
  std::size_t name_start = path.find_last_of("\\/:");
  name_start = name_start == std::string::npos ? 0 : name_start + 1;
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < name_start) return path + ".DBT";
  return path.substr(0, dot) + ".DBT";
}

// The table's file name without directory and extension.
std::string BaseNameOf(const std::string& path) {
  std::size_t name_start = path.find_last_of("\\/:");
  name_start = name_start == std::string::npos ? 0 : name_start + 1;
  std::string name = path.substr(name_start);
  std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name;
}

}  // namespace

void FieldDefsToDBFFields(const tables::FieldDefs& defs, TDBFFieldDefs& fields) {
  using tables::FieldType;
  fields.assign(defs.size(), TDBFField{});
  for (std::size_t i = 0; i < defs.size(); ++i) {
    const tables::FieldDef& def = defs[i];
    TDBFField& out = fields[i];
    const auto size = static_cast<std::uint8_t>(def.size & 0xFF);
    const auto precision = static_cast<std::uint8_t>(def.precision & 0xFF);
    switch (def.type) {
      case FieldType::kString:
      case FieldType::kFixedChar:
      case FieldType::kWideString: out = {"", 'C', size, 0}; break;
      case FieldType::kSmallint: out = {"", 'N', 4, 0}; break;
      case FieldType::kInteger:
      case FieldType::kWord: out = {"", 'N', 11, 0}; break;
      case FieldType::kBoolean: out = {"", 'L', 1, 0}; break;
      case FieldType::kFloat:
      case FieldType::kBCD: {
        std::uint8_t length = size == 0 ? 7 : size;
        if (precision == 0) length = static_cast<std::uint8_t>(length + 2);
        out = {"", 'N', length, static_cast<std::uint8_t>(precision == 0 ? 2 : precision)};
        break;
      }
      case FieldType::kCurrency:
        out = {"", 'F', static_cast<std::uint8_t>(size == 0 ? 15 : size),
               static_cast<std::uint8_t>(precision == 0 ? 4 : precision)};
        break;
      case FieldType::kDate: out = {"", 'D', 8, 0}; break;
      case FieldType::kTime: out = {"", 'C', 8, 0}; break;
      case FieldType::kMemo: out = {"", 'M', 10, 0}; break;
      default: continue;  // no descriptor for this type: the entry stays empty
    }
    out.Name = def.name.substr(0, kNameSize);
  }
}

bool CreateDBFFile(const std::string& path, int version, std::uint8_t language, const TDBFFieldDefs& fields,
                   std::string* why) {
  try {
    const std::optional<std::uint8_t> version_byte = VersionByte(version);
    if (!version_byte)
      return Refuse(why, "Файл "_cp + path + " не создан: уровень "_cp + std::to_string(version) +
                             " не годится для записи файла, допустимы 3, 4 и 5"_cp);
    // An entry without a known type letter has no descriptor form; rather than write a table no
    // reader can take, the whole list is refused before anything touches the disk.
    for (const TDBFField& field : fields)
      if (!IsKnownLetter(field.FieldType))
        return Refuse(why, "Файл "_cp + path + " не создан: у поля "_cp + field.Name + " нет типа dBASE"_cp);

    const std::size_t header_length = kHeaderSize + kDescriptorSize * fields.size() + 1;
    std::size_t record_length = 1;  // the deletion flag
    bool has_memo = false;
    for (const TDBFField& field : fields) {
      record_length += WidthOf(field);
      has_memo = has_memo || field.FieldType == 'M';
    }
    // Both lengths are stored in 16 bits; a list that does not fit would give a corrupt table.
    if (header_length > 0xFFFF || record_length > 0xFFFF)
      return Refuse(why, "Файл "_cp + path + " не создан: слишком много или слишком длинные поля"_cp);

    std::string bytes(header_length + 1, '\0');
    bytes[0] = static_cast<char>(*version_byte);
    std::memcpy(&bytes[1], kLastUpdate.data(), kLastUpdate.size());
    platform::PutLe16(bytes.data() + 8, static_cast<std::uint16_t>(header_length));
    platform::PutLe16(bytes.data() + 10, static_cast<std::uint16_t>(record_length));
    if (version != 3) bytes[29] = static_cast<char>(language);

    std::size_t at = kHeaderSize;
    for (const TDBFField& field : fields) {
      const std::size_t name_length = std::min(field.Name.size(), kNameSize);
      for (std::size_t i = 0; i < name_length; ++i)
        bytes[at + i] = static_cast<unsigned char>(field.Name[i]) == 0xB6 ? '\0' : field.Name[i];
      bytes[at + 11] = field.FieldType;
      bytes[at + 16] = static_cast<char>(WidthOf(field));
      if (field.FieldType == 'N' || field.FieldType == 'F') bytes[at + 17] = static_cast<char>(field.Decimals);
      at += kDescriptorSize;
    }
    bytes[at] = 0x0D;
    bytes[at + 1] = 0x1A;

    if (!WriteWholeFile(path, bytes, why)) return false;
    if (has_memo && !CreateDBTFile(path, why)) return false;
    return true;
  } catch (const std::exception& e) {
    return Refuse(why, e.what());
  } catch (...) {
    return Refuse(why, "Не удалось записать файл "_cp + path);
  }
}

bool CreateDBTFile(const std::string& path, std::string* why) {
  try {
    std::string block(kMemoBlockSize, '\0');
    block[0] = 1;  // next free block
    const std::string name = BaseNameOf(path).substr(0, kMemoNameSize);
    std::memcpy(&block[8], name.data(), name.size());  // a shorter name leaves zero bytes
    block[18] = 0x02;
    block[19] = 0x01;
    platform::PutLe16(block.data() + 20, static_cast<std::uint16_t>(kMemoBlockSize));
    return WriteWholeFile(MemoPathOf(path), block, why);
  } catch (const std::exception& e) {
    return Refuse(why, e.what());
  } catch (...) {
    return Refuse(why, "Не удалось записать файл "_cp + MemoPathOf(path));
  }
}

}  // namespace epd::dbf
