#include "tables/dbf_layout.h"

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "platform/coding.h"
#include "platform/text.h"
#include "tables/table_errors.h"

namespace epd::tables {
namespace {

constexpr std::size_t kLevel7Prefix = 68;
constexpr std::size_t kMaxFields = 2048;

bool IsFoxProVersion(std::uint8_t v) { return v == 0x30 || v == 0x31 || v == 0x32 || v == 0xF5 || v == 0xFB; }

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0xC0 || c == 0xA8 || c == 0xB8;
}

bool IsTypeLetter(unsigned char c) { return (c >= 'A' && c <= 'Z') || c == '@' || c == '+' || c == '0'; }

// A descriptor that lies beyond the declared header length is taken only when it looks like one:
// this keeps the first record of a file without the 0x0D terminator from being read as a field.
bool LooksLikeDescriptor(const unsigned char* d, std::size_t name_size, std::size_t type_at, std::size_t len_at) {
  if (!IsNameStart(d[0]) || !IsTypeLetter(d[type_at]) || d[len_at] == 0) return false;
  for (std::size_t i = 1; i < name_size && d[i] != 0; ++i)
    if (d[i] < 0x20) return false;
  return true;
}

std::uint64_t Fnv1a(const unsigned char* p, std::size_t n, std::uint64_t h = 1469598103934665603ull) {
  for (std::size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  return h;
}

std::string NameOf(const unsigned char* d, std::size_t size) {
  std::size_t n = 0;
  while (n < size && d[n] != 0) ++n;
  while (n > 0 && d[n - 1] == ' ') --n;
  return std::string(reinterpret_cast<const char*>(d), n);
}

TextCoding CodingOf(const TableLayout& layout) {
  if (layout.family == DbfFamily::kDbase7) {
    return layout.language_driver.find("866") != std::string::npos ? TextCoding::kCp866 : TextCoding::kAsIs;
  }
  // 0x26 is dBASE's "RUS" 866 driver, 0x65 the 866 entry of the Microsoft list (FoxPro's too).
  return layout.language_id == 0x26 || layout.language_id == 0x65 ? TextCoding::kCp866 : TextCoding::kAsIs;
}

}  // namespace

bool TableLayout::HasMemoFields() const {
  for (const FieldInfo& f : fields)
    if (IsMemoType(*this, f)) return true;
  return false;
}

int TableLayout::FieldIndex(std::string_view name) const {
  return field_names.Find(name, fields.size(), [this](std::size_t i) { return std::string_view(fields[i].name); });
}

bool IsMemoType(const TableLayout& layout, const FieldInfo& field) {
  switch (field.type) {
    case 'M':
    case 'G':
    case 'P':
    case 'W': return true;
    case 'B': return !(layout.family == DbfFamily::kFoxPro || field.length == 8);  // FoxPro's B is a double
    default: return false;
  }
}

TableLayout ParseLayout(std::string_view path, const unsigned char* bytes, std::size_t size) {
  if (size < kHeaderPrefix) ThrowDamaged(path, "файл короче заголовка таблицы"_cp);
  TableLayout layout;
  layout.version = bytes[0];
  const std::uint8_t v = layout.version;
  const unsigned level = v & 0x07;
  if (IsFoxProVersion(v)) {
    layout.family = DbfFamily::kFoxPro;
  } else if (level == 4) {
    layout.family = DbfFamily::kDbase7;
  } else if (level == 3 || level == 5 || level == 6) {
    layout.family = DbfFamily::kDbase3;
  } else {
    ThrowDamaged(path, Cat("неизвестная версия формата dBASE (байт версии "_cp, std::to_string(v), ")"));
  }
  layout.header_count = platform::GetLe32(bytes + 4);
  layout.header_length = platform::GetLe16(bytes + 8);
  // Records that began inside the 32-byte header would overwrite it on the first append.
  if (layout.header_length != 0 && layout.header_length <= kHeaderPrefix)
    ThrowDamaged(path, "длина заголовка меньше 33 байт"_cp);
  layout.record_length = platform::GetLe16(bytes + 10);
  layout.language_id = bytes[29];

  std::size_t pos = kHeaderPrefix;
  std::size_t desc_size = 32, name_size = 11, type_at = 11, len_at = 16, dec_at = 17;
  if (layout.family == DbfFamily::kDbase7) {
    if (size < kLevel7Prefix) ThrowDamaged(path, "файл короче заголовка таблицы уровня 7"_cp);
    layout.language_driver = NameOf(bytes + 32, 32);
    pos = kLevel7Prefix;
    desc_size = 48, name_size = 32, type_at = 32, len_at = 33, dec_at = 34;
  }
  layout.coding = CodingOf(layout);

  std::uint64_t signature = Fnv1a(bytes, 1);
  std::uint32_t offset = 1;
  while (pos < size && bytes[pos] != 0x0D && layout.fields.size() < kMaxFields) {
    if (pos + desc_size > size) break;
    const unsigned char* d = bytes + pos;
    if (pos + desc_size > layout.header_length && !LooksLikeDescriptor(d, name_size, type_at, len_at)) break;
    FieldInfo f;
    f.name = NameOf(d, name_size);
    f.type = static_cast<char>(d[type_at]);
    if (f.type >= 'a' && f.type <= 'z') f.type = static_cast<char>(f.type - 32);
    f.declared_length = d[len_at];
    f.decimals = d[dec_at];
    // Clipper and others keep the high byte of a long character field's width in the decimals.
    if (f.type == 'C' && layout.family != DbfFamily::kDbase7) {
      f.declared_length += static_cast<std::uint32_t>(f.decimals) << 8;
      f.decimals = 0;
    }
    f.descriptor_offset = static_cast<std::uint32_t>(pos);
    f.offset = offset;
    offset += f.declared_length;
    signature = Fnv1a(d, dec_at + 1, signature);
    pos += desc_size;
    // Visual FoxPro's hidden system column (_NullFlags) and zero-width fields are not columns.
    const bool system = layout.family == DbfFamily::kFoxPro && (f.type == '0' || (d[18] & 0x01) != 0);
    if (system || f.declared_length == 0) continue;
    if (f.name.empty()) f.name = Cat("FIELD", std::to_string(layout.fields.size() + 1));
    layout.fields.push_back(std::move(f));
  }
  if (layout.record_length == 0) layout.record_length = offset;  // a header that lost it
  if (layout.header_length == 0)
    layout.header_length = static_cast<std::uint32_t>(std::min<std::size_t>(pos + 1, size));
  for (FieldInfo& f : layout.fields) {
    const std::uint32_t room = f.offset < layout.record_length ? layout.record_length - f.offset : 0;
    f.length = std::min(f.declared_length, room);
  }
  const std::uint32_t lengths[2] = {layout.header_length, layout.record_length};
  layout.signature = Fnv1a(reinterpret_cast<const unsigned char*>(lengths), sizeof lengths, signature);
  layout.field_names.Build(layout.fields.size(),
                           [&layout](std::size_t i) { return std::string_view(layout.fields[i].name); });
  return layout;
}

}  // namespace epd::tables
