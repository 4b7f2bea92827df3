// Decoding: the bytes of a field as a value, for every field type the engine knows.
#include <cmath>
#include <cstring>

#include "platform/coding.h"
#include "platform/text.h"
#include "tables/calendar.h"
#include "tables/field_codec.h"
#include "tables/field_forms.h"
#include "tables/memo_file.h"
#include "tables/nearest_double.h"
#include "tables/number_text.h"

namespace epd::tables {

using namespace forms;

namespace {

// A currency field's value: its integer in ten-thousandths. Beyond 2^53 the integer converted to
// a double first would round twice (and on the x87 unit differently).
double CurrencyValue(std::int64_t stored) {
  const double v =
      NearestDouble(stored < 0 ? 0 - static_cast<std::uint64_t>(stored) : static_cast<std::uint64_t>(stored), 4);
  return stored < 0 ? -v : v;
}

}  // namespace

FieldClass ClassOf(const TableLayout& layout, const FieldInfo& field) {
  switch (field.type) {
    case 'N':
    case 'F': return field.decimals == 0 ? FieldClass::kInteger : FieldClass::kNumber;
    case 'I':
    case '+': return FieldClass::kInteger;
    case 'O':
    case 'Y': return FieldClass::kNumber;
    case 'B': return IsMemoType(layout, field) ? FieldClass::kMemo : FieldClass::kNumber;
    case 'D': return FieldClass::kDate;
    case '@':
    case 'T': return field.length == 8 ? FieldClass::kTimestamp : FieldClass::kText;
    case 'L': return FieldClass::kLogical;
    case 'M':
    case 'G':
    case 'P':
    case 'W': return FieldClass::kMemo;
    default: return FieldClass::kText;
  }
}

std::string_view TrimmedBytes(const FieldInfo& field, const char* record) {
  const char* p = record + field.offset;
  std::uint32_t n = field.length;
  while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0')) --n;
  return std::string_view(p, n);
}

bool DecodeNumber(const TableLayout& layout, const FieldInfo& field, const char* record, double* value) {
  const char* p = record + field.offset;
  const std::uint32_t n = field.length;
  switch (field.type) {
    case 'N':
    case 'F': return ParseStoredNumber(p, n, value);
    case 'I':
    case '+':
      if (n != 4) return ParseStoredNumber(p, n, value);
      if (Level7Binary(layout)) {
        if (AllZero(p, 4)) return false;
        *value = static_cast<std::int32_t>(platform::GetBe32(p) ^ 0x80000000u);
      } else {
        *value = static_cast<std::int32_t>(platform::GetLe32(p));
      }
      return true;
    case 'O':
      if (n != 8 || AllZero(p, 8)) return false;
      *value = DoubleFromSortableBits(platform::GetBe64(p));
      return std::isfinite(*value);
    case 'B':
      if (n != 8 || IsMemoType(layout, field)) return false;
      *value = BitsToDouble(platform::GetLe64(p));
      return std::isfinite(*value);
    case 'Y':
      if (n != 8) return false;
      *value = CurrencyValue(static_cast<std::int64_t>(platform::GetLe64(p)));
      return true;
    default: return false;
  }
}

namespace {

// YYYYMMDD; anything else, an impossible date too, is blank.
Cell DecodeDate(const char* p, std::uint32_t n) {
  if (n < 8) return Cell::Null();
  int parts[3] = {0, 0, 0};
  const int widths[3] = {4, 2, 2};
  int at = 0;
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < widths[k]; ++i, ++at) {
      const char c = p[at];
      if (c < '0' || c > '9') return Cell::Null();
      parts[k] = parts[k] * 10 + (c - '0');
    }
  }
  if (!IsValidDate(parts[0], parts[1], parts[2])) return Cell::Null();
  return Cell::Date(DaysFromCivil(parts[0], parts[1], parts[2]));
}

// 'T': a Julian day and milliseconds, little-endian; '@': milliseconds since 0001-01-01 less a
// day as a big-endian double.
Cell DecodeTimestamp(const FieldInfo& field, const char* p) {
  if (AllZero(p, 8)) return Cell::Null();
  std::int64_t days, ms;
  if (field.type == 'T') {
    days = static_cast<std::int32_t>(platform::GetLe32(p)) - kJulianDayOf1970;
    ms = static_cast<std::int32_t>(platform::GetLe32(p + 4));
  } else {
    const double total = BitsToDouble(platform::GetBe64(p));
    if (!std::isfinite(total) || total < 0 || total > 4e14) return Cell::Null();
    const auto whole = static_cast<std::int64_t>(std::llround(total));
    days = whole / kDayMs - 1 - kDaysTo1970From0001;
    ms = whole % kDayMs;
  }
  if (ms < 0 || ms >= kDayMs || days < -719162 || days > 2932896) return Cell::Null();
  return Cell::Timestamp(days, ms);
}

Cell DecodeLogical(const char* p, std::uint32_t n) {
  if (n < 1) return Cell::Null();
  switch (p[0]) {
    case 'T':
    case 't':
    case 'Y':
    case 'y': return Cell::Bool(true);
    case 'F':
    case 'f':
    case 'N':
    case 'n': return Cell::Bool(false);
    default: return Cell::Null();
  }
}

}  // namespace

Cell DecodeField(const TableLayout& layout, const FieldInfo& field, const char* record, MemoFile* memo) {
  const char* p = record + field.offset;
  const std::uint32_t n = field.length;
  switch (ClassOf(layout, field)) {
    case FieldClass::kInteger:
    case FieldClass::kNumber: {
      double v;
      return DecodeNumber(layout, field, record, &v) ? Cell::Number(v) : Cell::Null();
    }
    case FieldClass::kDate: return DecodeDate(p, n);
    case FieldClass::kTimestamp: return DecodeTimestamp(field, p);
    case FieldClass::kLogical: return DecodeLogical(p, n);
    case FieldClass::kMemo: {
      if (memo == nullptr) return Cell::Null();
      std::string text = memo->Read(MemoBlockOf(p, n));
      if (text.empty()) return Cell::Null();
      if (field.type == 'M') return Cell::Text(FromTableText(layout, text));
      return Cell::Text(std::move(text));
    }
    case FieldClass::kText: {
      const std::string_view bytes = TrimmedBytes(field, record);
      if (bytes.empty()) return Cell::Null();
      return Cell::Text(FromTableText(layout, bytes));
    }
  }
  return Cell::Null();
}

std::string CellToText(const Cell& cell, const platform::RegionalFormat& format) {
  switch (cell.kind) {
    case Cell::kNull: return std::string();
    case Cell::kNumber: return FormatNumber(cell.number, format.decimal_separator);
    case Cell::kText: return cell.text;
    case Cell::kDate: return FormatDate(cell.days, format.short_date);
    case Cell::kTimestamp: {
      std::string out = FormatDate(cell.days, format.short_date);
      if (cell.ms != 0) {
        out += ' ';
        out += FormatTime(cell.ms);
      }
      return out;
    }
    case Cell::kBool: return cell.boolean ? "True" : "False";
  }
  return std::string();
}

}  // namespace epd::tables
