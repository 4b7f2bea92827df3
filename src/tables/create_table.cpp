#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/coding.h"
#include "platform/error.h"
#include "platform/replace_file.h"
#include "platform/text.h"
#include "tables/calendar.h"
#include "tables/memo_file.h"
#include "tables/scan_cache.h"
#include "tables/table.h"
#include "tables/table_errors.h"
#include "tables/write_generation.h"

// New tables are dBASE level 7 files: version 0x04 (0x8C with a memo file), the 68-byte header
// whose language driver name is "ancyrr" (the ANSI Cyrillic driver: text is code page 1251 and
// sorts in Russian order), 48-byte field descriptors. Field types: strings C of their size,
// integers I, autoincrements +, logicals L, floats and currency O (an 8-byte double, exact for
// every value the program writes), BCD N of its size and precision, dates D, date-times @, times
// C(8), memos M and blobs B in a .DBT beside the table.
namespace epd::tables {
namespace {

constexpr std::size_t kHeader = 68;
constexpr std::size_t kDescriptor = 48;
constexpr char kLanguageDriver[] = "ancyrr";

struct Column {
  std::string name;
  char type;
  int length;
  int decimals;
};

Column ColumnOf(const std::string& path, const FieldDef& def) {
  auto bad = [&](std::string_view why) -> Column {  // never returns
    ThrowTableError(path, Cat("поле "_cp, def.name, ": ", why));
  };
  switch (def.type) {
    case FieldType::kString:
    case FieldType::kFixedChar:
    case FieldType::kWideString:
      if (def.size < 1 || def.size > 254) return bad("длина символьного поля должна быть от 1 до 254"_cp);
      return {def.name, 'C', def.size, 0};
    case FieldType::kSmallint:
    case FieldType::kInteger:
    case FieldType::kWord: return {def.name, 'I', 4, 0};
    case FieldType::kAutoInc: return {def.name, '+', 4, 0};
    case FieldType::kBoolean: return {def.name, 'L', 1, 0};
    case FieldType::kFloat:
    case FieldType::kCurrency: return {def.name, 'O', 8, 0};
    case FieldType::kBCD: {
      const int size = def.size > 0 ? def.size : 20;
      const int precision = def.precision > 0 ? def.precision : 0;
      if (size > 20 || precision >= size) return bad("недопустимые длина или точность числового поля"_cp);
      return {def.name, 'N', size, precision};
    }
    case FieldType::kDate: return {def.name, 'D', 8, 0};
    case FieldType::kDateTime: return {def.name, '@', 8, 0};
    case FieldType::kTime: return {def.name, 'C', 8, 0};
    case FieldType::kMemo: return {def.name, 'M', 10, 0};
    case FieldType::kBlob: return {def.name, 'B', 10, 0};
    case FieldType::kUnknown: break;
  }
  return bad("тип поля не поддерживается"_cp);
}

}  // namespace

void CreateTable(const std::string& path, const FieldDefs& defs) {
  std::vector<Column> columns;
  std::size_t record_length = 1;
  bool memo = false;
  for (const FieldDef& def : defs) {
    if (def.name.empty()) ThrowTableError(path, "пустое имя поля"_cp);
    if (def.name.size() > 31) ThrowTableError(path, Cat("имя поля длиннее 31 знака: "_cp, def.name));
    for (const Column& c : columns)
      if (platform::EqualsIgnoreCase(c.name, def.name))
        ThrowTableError(path, Cat("повторяющееся имя поля "_cp, def.name));
    columns.push_back(ColumnOf(path, def));
    record_length += static_cast<std::size_t>(columns.back().length);
    memo = memo || columns.back().type == 'M' || columns.back().type == 'B';
  }
  if (record_length > 65535) ThrowTableError(path, "запись длиннее 65535 байт"_cp);
  if (columns.size() > 1024) ThrowTableError(path, "больше 1024 полей"_cp);

  const std::size_t header_length = kHeader + kDescriptor * columns.size() + 1;
  std::vector<unsigned char> bytes(header_length + 1, 0);
  int y, m, d;
  CivilFromDays(TodayDays(), &y, &m, &d);
  bytes[0] = memo ? 0x8C : 0x04;
  bytes[1] = static_cast<unsigned char>(y - 1900);
  bytes[2] = static_cast<unsigned char>(m);
  bytes[3] = static_cast<unsigned char>(d);
  platform::PutLe16(bytes.data() + 8, static_cast<std::uint16_t>(header_length));
  platform::PutLe16(bytes.data() + 10, static_cast<std::uint16_t>(record_length));
  std::memcpy(bytes.data() + 32, kLanguageDriver, sizeof kLanguageDriver - 1);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    unsigned char* p = bytes.data() + kHeader + kDescriptor * i;
    const Column& c = columns[i];
    std::memcpy(p, c.name.data(), c.name.size());
    p[32] = static_cast<unsigned char>(c.type);
    p[33] = static_cast<unsigned char>(c.length);
    p[34] = static_cast<unsigned char>(c.decimals);
    if (c.type == '+') platform::PutLe32(p + 42, 1);
  }
  bytes[header_length - 1] = 0x0D;
  bytes[header_length] = 0x1A;

  ScanCache::Instance().Forget(path);
  BumpWriteGeneration();
  // The memo file first: the table's appearance under its name is the last step.
  if (memo) MemoFile::CreateBeside(path);
  // Under a scratch name first, which then takes the table's name in one step: a process killed
  // half way leaves no torn table behind, which every later open would refuse (and which,
  // existing, would never be created again). Synced before the rename, and the folder after it:
  // a power failure leaves the old file or the whole new one too, never the name without its
  // bytes. A file at `path` that cannot be replaced so (on Windows, one another program holds
  // open) is overwritten in place instead.
  platform::ReplaceFile(
      path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
      platform::ReplaceOptions{.sync = true, .in_place = platform::ReplaceOptions::InPlace::kAfterAnyFailure});
}

}  // namespace epd::tables
