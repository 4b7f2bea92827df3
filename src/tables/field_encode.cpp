// Encoding: values, and the texts a user assigns, as the bytes of a field.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/coding.h"
#include "platform/text.h"
#include "tables/calendar.h"
#include "tables/field_codec.h"
#include "tables/field_forms.h"
#include "tables/memo_file.h"
#include "tables/number_text.h"

namespace epd::tables {

using namespace forms;

namespace {

bool IsIntegral(double v) { return std::isfinite(v) && std::nearbyint(v) == v; }

const std::string_view kNotInteger = "не целое число"_cp;
const std::string_view kNotNumber = "не число"_cp;
const std::string_view kTooBig = "число не помещается в поле"_cp;
const std::string_view kNotDate = "не дата"_cp;
const std::string_view kNotLogical = "не логическое значение"_cp;

bool Refuse(std::string* why, std::string_view reason) {
  *why = reason;
  return false;
}

// The number a value stands for in a numeric field: a number, a logical as 1 or 0, a text in
// the regional form or with a point.
bool NumberOf(const Cell& cell, const platform::RegionalFormat& format, double* v) {
  switch (cell.kind) {
    case Cell::kNumber: *v = cell.number; return true;
    case Cell::kBool: *v = cell.boolean ? 1 : 0; return true;
    case Cell::kText:
      return ParseUserNumber(cell.text, format.decimal_separator, v) || ParseUserNumber(cell.text, '.', v);
    default: return false;
  }
}

// The binary number types; false, with `*done` unset, for a field stored as digits.
bool EncodeBinaryNumber(const TableLayout& layout, const FieldInfo& field, double v, char* p, bool* done,
                        std::string* why) {
  *done = true;
  const std::uint32_t n = field.length;
  switch (field.type) {
    case 'I':
    case '+':
      if (n != 4) break;
      if (v < -2147483648.0 || v > 2147483647.0) return Refuse(why, kTooBig);
      if (Level7Binary(layout))
        platform::PutBe32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) ^ 0x80000000u);
      else
        platform::PutLe32(p, static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
      return true;
    case 'O':
      if (n != 8) break;
      platform::PutBe64(p, SortableDoubleBits(v));
      return true;
    case 'B':
      if (n != 8) break;
      platform::PutLe64(p, DoubleToBits(v));
      return true;
    case 'Y': {
      if (n != 8) break;
      const double scaled = std::nearbyint(v * 10000.0);
      if (std::fabs(scaled) > 9.2e18) return Refuse(why, kTooBig);
      platform::PutLe64(p, static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled)));
      return true;
    }
    default: break;
  }
  *done = false;
  return false;
}

bool EncodeNumber(const TableLayout& layout, const FieldInfo& field, const Cell& cell,
                  const platform::RegionalFormat& format, char* p, std::string* why) {
  double v = 0;
  if (!NumberOf(cell, format, &v) || !std::isfinite(v)) return Refuse(why, kNotNumber);
  if (ClassOf(layout, field) == FieldClass::kInteger && !IsIntegral(v)) return Refuse(why, kNotInteger);
  bool done;
  const bool stored = EncodeBinaryNumber(layout, field, v, p, &done, why);
  if (done) return stored;
  if (!FormatStoredNumber(v, field.length, field.decimals, p)) return Refuse(why, kTooBig);
  return true;
}

bool EncodeDate(const FieldInfo& field, const Cell& cell, const platform::RegionalFormat& format, char* p,
                std::string* why) {
  std::int64_t days = 0;
  if (cell.kind == Cell::kDate || cell.kind == Cell::kTimestamp) {
    days = cell.days;
  } else if (cell.kind != Cell::kText ||
             !(ParseDate(cell.text, format.short_date, &days) || ParseDate(cell.text, "yyyy-MM-dd", &days))) {
    return Refuse(why, kNotDate);
  }
  int y, m, d;
  CivilFromDays(days, &y, &m, &d);
  if (field.length < 8 || !IsValidDate(y, m, d)) return Refuse(why, kNotDate);
  // YYYYMMDD; IsValidDate keeps every part within its digits.
  std::memset(p, ' ', field.length);
  for (int k = 3, v = y; k >= 0; --k, v /= 10) p[k] = static_cast<char>('0' + v % 10);
  p[4] = static_cast<char>('0' + m / 10);
  p[5] = static_cast<char>('0' + m % 10);
  p[6] = static_cast<char>('0' + d / 10);
  p[7] = static_cast<char>('0' + d % 10);
  return true;
}

bool EncodeTimestamp(const FieldInfo& field, const Cell& cell, const platform::RegionalFormat& format, char* p,
                     std::string* why) {
  std::int64_t days = 0, ms = 0;
  if (cell.kind == Cell::kDate || cell.kind == Cell::kTimestamp) {
    days = cell.days;
    ms = cell.kind == Cell::kTimestamp ? cell.ms : 0;
  } else if (cell.kind != Cell::kText || !ParseDateTime(cell.text, format.short_date, &days, &ms)) {
    return Refuse(why, kNotDate);
  }
  if (field.type == 'T') {
    platform::PutLe32(p, static_cast<std::uint32_t>(days + kJulianDayOf1970));
    platform::PutLe32(p + 4, static_cast<std::uint32_t>(ms));
  } else {
    const double total = static_cast<double>((days + kDaysTo1970From0001 + 1) * kDayMs + ms);
    platform::PutBe64(p, DoubleToBits(total));
  }
  return true;
}

bool EncodeLogical(const TableLayout& layout, const FieldInfo& field, const Cell& cell,
                   const platform::RegionalFormat& format, char* p, std::string* why) {
  bool v = false;
  if (cell.kind == Cell::kBool) {
    v = cell.boolean;
  } else if (cell.kind == Cell::kNumber) {
    v = cell.number != 0;
  } else {
    Cell parsed;
    if (cell.kind != Cell::kText || !UserTextToCell(layout, field, cell.text, format, &parsed, why) ||
        parsed.kind != Cell::kBool)
      return Refuse(why, kNotLogical);
    v = parsed.boolean;
  }
  p[0] = v ? 'T' : 'F';
  return true;
}

bool EncodeMemo(const TableLayout& layout, const FieldInfo& field, const Cell& cell,
                const platform::RegionalFormat& format, char* record, MemoFile* memo, std::string* why) {
  std::string text = cell.kind == Cell::kText ? cell.text : CellToText(cell, format);
  if (text.empty()) {
    EncodeBlank(layout, field, record);
    return true;
  }
  if (memo == nullptr) return Refuse(why, "нет файла примечаний рядом с таблицей"_cp);
  if (field.type == 'M') text = ToTableText(layout, text);
  PutMemoBlock(memo->Write(text), field.length, record + field.offset);
  return true;
}

}  // namespace

void EncodeBlank(const TableLayout& layout, const FieldInfo& field, char* record) {
  char* p = record + field.offset;
  const bool binary = (field.length == 4 && (field.type == 'I' || field.type == '+' || field.type == 'M' ||
                                             field.type == 'G' || field.type == 'P' || field.type == 'W')) ||
                      (field.length == 8 && (field.type == 'O' || field.type == '@' || field.type == 'T' ||
                                             field.type == 'Y' || (field.type == 'B' && !IsMemoType(layout, field))));
  std::memset(p, binary ? 0 : ' ', field.length);
}

bool EncodeCell(const TableLayout& layout, const FieldInfo& field, const Cell& cell,
                const platform::RegionalFormat& format, char* record, MemoFile* memo, std::string* why) {
  char* p = record + field.offset;
  const std::uint32_t n = field.length;
  // A field that the record length of a damaged header leaves no room for.
  if (n == 0) return Refuse(why, "поле не помещается в запись таблицы"_cp);
  if (cell.IsNull()) {
    EncodeBlank(layout, field, record);
    return true;
  }
  switch (ClassOf(layout, field)) {
    case FieldClass::kText: {
      const std::string text = ToTableText(layout, cell.kind == Cell::kText ? cell.text : CellToText(cell, format));
      std::memset(p, ' ', n);
      std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), n));
      return true;
    }
    case FieldClass::kInteger:
    case FieldClass::kNumber: return EncodeNumber(layout, field, cell, format, p, why);
    case FieldClass::kDate: return EncodeDate(field, cell, format, p, why);
    case FieldClass::kTimestamp: return EncodeTimestamp(field, cell, format, p, why);
    case FieldClass::kLogical: return EncodeLogical(layout, field, cell, format, p, why);
    case FieldClass::kMemo: return EncodeMemo(layout, field, cell, format, record, memo, why);
  }
  return false;
}

bool UserTextToCell(const TableLayout& layout, const FieldInfo& field, std::string_view text,
                    const platform::RegionalFormat& format, Cell* cell, std::string* why) {
  if (text.empty()) {
    *cell = Cell::Null();
    return true;
  }
  switch (ClassOf(layout, field)) {
    case FieldClass::kText:
    case FieldClass::kMemo: *cell = Cell::Text(std::string(text)); return true;
    case FieldClass::kInteger: {
      std::int64_t v;
      if (!ParseUserInteger(text, &v)) {
        *why = kNotInteger;
        return false;
      }
      *cell = Cell::Number(static_cast<double>(v));
      return true;
    }
    case FieldClass::kNumber: {
      double v;
      if (!ParseUserNumber(text, format.decimal_separator, &v)) {
        *why = kNotNumber;
        return false;
      }
      *cell = Cell::Number(v);
      return true;
    }
    case FieldClass::kDate: {
      std::int64_t days;
      if (!ParseDate(text, format.short_date, &days)) {
        *why = kNotDate;
        return false;
      }
      *cell = Cell::Date(days);
      return true;
    }
    case FieldClass::kTimestamp: {
      std::int64_t days, ms;
      if (!ParseDateTime(text, format.short_date, &days, &ms)) {
        *why = kNotDate;
        return false;
      }
      *cell = Cell::Timestamp(days, ms);
      return true;
    }
    case FieldClass::kLogical: {
      // A prefix of "True" or "False" in any letter case, and "1"/"0", which the transfer of a
      // logical source field writes.
      const std::string upper = platform::UpperCp1251(text);
      auto prefix_of = [&upper](std::string_view word) {
        return upper.size() <= word.size() && word.substr(0, upper.size()) == upper;
      };
      if (upper == "1" || prefix_of("TRUE")) {
        *cell = Cell::Bool(true);
        return true;
      }
      if (upper == "0" || prefix_of("FALSE")) {
        *cell = Cell::Bool(false);
        return true;
      }
      *why = kNotLogical;
      return false;
    }
  }
  return false;
}

bool EncodeUserText(const TableLayout& layout, const FieldInfo& field, std::string_view text,
                    const platform::RegionalFormat& format, char* record, MemoFile* memo, std::string* why) {
  if (!text.empty() && field.length > 0 && layout.coding == TextCoding::kAsIs &&
      ClassOf(layout, field) == FieldClass::kText) {
    PutText(field, text, record);
    return true;
  }
  Cell cell;
  return UserTextToCell(layout, field, text, format, &cell, why) &&
         EncodeCell(layout, field, cell, format, record, memo, why);
}

}  // namespace epd::tables
