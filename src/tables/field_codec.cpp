#include "tables/field_codec.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/codepage.h"
#include "platform/text.h"
#include "tables/calendar.h"
#include "tables/memo_file.h"
#include "tables/nearest_double.h"
#include "tables/number_text.h"
#include "tables/raw_field.h"

namespace epd::tables {
namespace {

constexpr std::int64_t kDayMs = 86400000;
constexpr std::int64_t kDaysTo1970From0001 = 719162;
constexpr std::int64_t kJulianDayOf1970 = 2440588;

const unsigned char* U(const char* p) { return reinterpret_cast<const unsigned char*>(p); }

std::uint32_t Be32(const char* p) {
  const unsigned char* u = U(p);
  return (static_cast<std::uint32_t>(u[0]) << 24) | (static_cast<std::uint32_t>(u[1]) << 16) |
         (static_cast<std::uint32_t>(u[2]) << 8) | u[3];
}
std::uint64_t Be64(const char* p) { return (static_cast<std::uint64_t>(Be32(p)) << 32) | Be32(p + 4); }
std::uint32_t Le32(const char* p) {
  const unsigned char* u = U(p);
  return u[0] | (static_cast<std::uint32_t>(u[1]) << 8) | (static_cast<std::uint32_t>(u[2]) << 16) |
         (static_cast<std::uint32_t>(u[3]) << 24);
}
std::uint64_t Le64(const char* p) { return Le32(p) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32); }
void PutBe32(std::uint32_t v, char* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * (3 - i)));
}
void PutBe64(std::uint64_t v, char* p) {
  PutBe32(static_cast<std::uint32_t>(v >> 32), p);
  PutBe32(static_cast<std::uint32_t>(v), p + 4);
}
void PutLe32(std::uint32_t v, char* p) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(v >> (8 * i));
}
void PutLe64(std::uint64_t v, char* p) {
  PutLe32(static_cast<std::uint32_t>(v), p);
  PutLe32(static_cast<std::uint32_t>(v >> 32), p + 4);
}

bool AllZero(const char* p, std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

double BitsToDouble(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}
std::uint64_t DoubleToBits(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

bool Level7Binary(const TableLayout& layout) { return layout.family == DbfFamily::kDbase7; }

// Level 7 keeps binary numbers big-endian and order-preserving: integers with the sign bit
// flipped, doubles with the sign bit set (>= 0) or all bits inverted (< 0).
std::uint64_t SortableDoubleBits(double v) {
  const std::uint64_t bits = DoubleToBits(v == 0 ? 0.0 : v);
  return (bits >> 63) ? ~bits : bits | (1ull << 63);
}
double DoubleFromSortableBits(std::uint64_t bits) { return BitsToDouble((bits >> 63) ? bits & ~(1ull << 63) : ~bits); }

std::string FromTableText(const TableLayout& layout, std::string_view bytes) {
  if (layout.coding == TextCoding::kCp866) return platform::Cp866ToCp1251(bytes);
  return std::string(bytes);
}

std::string ToTableText(const TableLayout& layout, std::string_view text) {
  if (layout.coding == TextCoding::kCp866) return platform::Cp1251ToCp866(text);
  return std::string(text);
}

bool IsIntegral(double v) { return std::isfinite(v) && std::nearbyint(v) == v; }

// A currency field's value: its integer in ten-thousandths. Beyond 2^53 the integer converted to
// a double first would round twice (and on the x87 unit differently).
double CurrencyValue(std::int64_t stored) {
  const double v =
      NearestDouble(stored < 0 ? 0 - static_cast<std::uint64_t>(stored) : static_cast<std::uint64_t>(stored), 4);
  return stored < 0 ? -v : v;
}

const std::string_view kNotInteger = "не целое число"_cp;
const std::string_view kNotNumber = "не число"_cp;
const std::string_view kTooBig = "число не помещается в поле"_cp;
const std::string_view kNotDate = "не дата"_cp;
const std::string_view kNotLogical = "не логическое значение"_cp;

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
        *value = static_cast<std::int32_t>(Be32(p) ^ 0x80000000u);
      } else {
        *value = static_cast<std::int32_t>(Le32(p));
      }
      return true;
    case 'O':
      if (n != 8 || AllZero(p, 8)) return false;
      *value = DoubleFromSortableBits(Be64(p));
      return std::isfinite(*value);
    case 'B':
      if (n != 8 || IsMemoType(layout, field)) return false;
      *value = BitsToDouble(Le64(p));
      return std::isfinite(*value);
    case 'Y':
      if (n != 8) return false;
      *value = CurrencyValue(static_cast<std::int64_t>(Le64(p)));
      return true;
    default: return false;
  }
}

Cell DecodeField(const TableLayout& layout, const FieldInfo& field, const char* record, MemoFile* memo) {
  const char* p = record + field.offset;
  const std::uint32_t n = field.length;
  switch (ClassOf(layout, field)) {
    case FieldClass::kInteger:
    case FieldClass::kNumber: {
      double v;
      return DecodeNumber(layout, field, record, &v) ? Cell::Number(v) : Cell::Null();
    }
    case FieldClass::kDate: {
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
    case FieldClass::kTimestamp: {
      if (AllZero(p, 8)) return Cell::Null();
      std::int64_t days, ms;
      if (field.type == 'T') {
        days = static_cast<std::int32_t>(Le32(p)) - kJulianDayOf1970;
        ms = static_cast<std::int32_t>(Le32(p + 4));
      } else {
        const double total = BitsToDouble(Be64(p));
        if (!std::isfinite(total) || total < 0 || total > 4e14) return Cell::Null();
        const auto whole = static_cast<std::int64_t>(std::llround(total));
        days = whole / kDayMs - 1 - kDaysTo1970From0001;
        ms = whole % kDayMs;
      }
      if (ms < 0 || ms >= kDayMs || days < -719162 || days > 2932896) return Cell::Null();
      return Cell::Timestamp(days, ms);
    }
    case FieldClass::kLogical: {
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
  if (n == 0) {  // a field that the record length of a damaged header leaves no room for
    *why = "поле не помещается в запись таблицы"_cp;
    return false;
  }
  if (cell.IsNull()) {
    EncodeBlank(layout, field, record);
    return true;
  }
  const FieldClass cls = ClassOf(layout, field);
  switch (cls) {
    case FieldClass::kText: {
      std::string text = cell.kind == Cell::kText ? cell.text : CellToText(cell, format);
      text = ToTableText(layout, text);
      std::memset(p, ' ', n);
      std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), n));
      return true;
    }
    case FieldClass::kInteger:
    case FieldClass::kNumber: {
      double v = 0;
      if (cell.kind == Cell::kNumber) {
        v = cell.number;
      } else if (cell.kind == Cell::kBool) {
        v = cell.boolean ? 1 : 0;
      } else if (cell.kind == Cell::kText) {
        if (!ParseUserNumber(cell.text, format.decimal_separator, &v) && !ParseUserNumber(cell.text, '.', &v)) {
          *why = kNotNumber;
          return false;
        }
      } else {
        *why = kNotNumber;
        return false;
      }
      if (!std::isfinite(v)) {
        *why = kNotNumber;
        return false;
      }
      if (cls == FieldClass::kInteger && !IsIntegral(v)) {
        *why = kNotInteger;
        return false;
      }
      switch (field.type) {
        case 'I':
        case '+':
          if (n != 4) break;
          if (v < -2147483648.0 || v > 2147483647.0) {
            *why = kTooBig;
            return false;
          }
          if (Level7Binary(layout))
            PutBe32(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)) ^ 0x80000000u, p);
          else
            PutLe32(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)), p);
          return true;
        case 'O':
          if (n != 8) break;
          PutBe64(SortableDoubleBits(v), p);
          return true;
        case 'B':
          if (n != 8) break;
          PutLe64(DoubleToBits(v), p);
          return true;
        case 'Y': {
          if (n != 8) break;
          const double scaled = std::nearbyint(v * 10000.0);
          if (std::fabs(scaled) > 9.2e18) {
            *why = kTooBig;
            return false;
          }
          PutLe64(static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled)), p);
          return true;
        }
        default: break;
      }
      if (!FormatStoredNumber(v, n, field.decimals, p)) {
        *why = kTooBig;
        return false;
      }
      return true;
    }
    case FieldClass::kDate: {
      std::int64_t days = 0;
      if (cell.kind == Cell::kDate || cell.kind == Cell::kTimestamp) {
        days = cell.days;
      } else if (cell.kind != Cell::kText ||
                 !(ParseDate(cell.text, format.short_date, &days) || ParseDate(cell.text, "yyyy-MM-dd", &days))) {
        *why = kNotDate;
        return false;
      }
      int y, m, d;
      CivilFromDays(days, &y, &m, &d);
      if (n < 8 || !IsValidDate(y, m, d)) {
        *why = kNotDate;
        return false;
      }
      // YYYYMMDD; IsValidDate keeps every part within its digits.
      std::memset(p, ' ', n);
      for (int k = 3, v = y; k >= 0; --k, v /= 10) p[k] = static_cast<char>('0' + v % 10);
      p[4] = static_cast<char>('0' + m / 10);
      p[5] = static_cast<char>('0' + m % 10);
      p[6] = static_cast<char>('0' + d / 10);
      p[7] = static_cast<char>('0' + d % 10);
      return true;
    }
    case FieldClass::kTimestamp: {
      std::int64_t days = 0, ms = 0;
      if (cell.kind == Cell::kDate || cell.kind == Cell::kTimestamp) {
        days = cell.days;
        ms = cell.kind == Cell::kTimestamp ? cell.ms : 0;
      } else if (cell.kind != Cell::kText || !ParseDateTime(cell.text, format.short_date, &days, &ms)) {
        *why = kNotDate;
        return false;
      }
      if (field.type == 'T') {
        PutLe32(static_cast<std::uint32_t>(days + kJulianDayOf1970), p);
        PutLe32(static_cast<std::uint32_t>(ms), p + 4);
      } else {
        const double total = static_cast<double>((days + kDaysTo1970From0001 + 1) * kDayMs + ms);
        PutBe64(DoubleToBits(total), p);
      }
      return true;
    }
    case FieldClass::kLogical: {
      bool v = false;
      if (cell.kind == Cell::kBool) {
        v = cell.boolean;
      } else if (cell.kind == Cell::kNumber) {
        v = cell.number != 0;
      } else {
        Cell parsed;
        if (cell.kind != Cell::kText || !UserTextToCell(layout, field, cell.text, format, &parsed, why) ||
            parsed.kind != Cell::kBool) {
          *why = kNotLogical;
          return false;
        }
        v = parsed.boolean;
      }
      p[0] = v ? 'T' : 'F';
      return true;
    }
    case FieldClass::kMemo: {
      std::string text = cell.kind == Cell::kText ? cell.text : CellToText(cell, format);
      if (text.empty()) {
        EncodeBlank(layout, field, record);
        return true;
      }
      if (memo == nullptr) {
        *why = "нет файла примечаний рядом с таблицей"_cp;
        return false;
      }
      if (field.type == 'M') text = ToTableText(layout, text);
      PutMemoBlock(memo->Write(text), n, p);
      return true;
    }
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

namespace {

// The text into a character field of a table whose bytes are taken as they are.
void PutText(const FieldInfo& field, std::string_view text, char* record) {
  char* p = record + field.offset;
  std::memset(p, ' ', field.length);
  std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), field.length));
}

}  // namespace

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

namespace {

// DateTextRoundTrips of the regional date picture, which rarely changes.
bool DatePictureRoundTrips(const std::string& picture) {
  static std::string last;
  static bool answer = false;
  if (picture != last || last.empty()) {
    answer = DateTextRoundTrips(picture);
    last = picture;
  }
  return answer;
}

// A number whose text (FormatNumber) reads back as the number itself: a whole number below
// 10^15, or the nearest double to a decimal of at most four places below 10^15, which
// FormatNumber writes as that decimal.
bool PlainNumber(double v) {
  if (std::fabs(v) >= 1e15) return false;
  if (v == std::trunc(v)) return true;
  for (double scale : {10.0, 100.0, 1000.0, 10000.0}) {
    const double r = std::nearbyint(v * scale);
    if (std::fabs(r) < 1e15 && r / scale == v) return true;
  }
  return false;
}

// A number stored as text that the round through its text would store again as the same digits:
// [-]digits[.digits] filling the field up to its end (blanks before it), without leading zeros
// (but for a lone 0), with `decimals` places, 15 digits at most and not minus zero. Its bytes,
// blanks left out, or nothing.
std::string_view CanonicalNumber(const FieldInfo& field, const char* record, std::uint32_t decimals) {
  const char* p = record + field.offset;
  const char* const e = p + field.length;
  while (p < e && *p == ' ') ++p;
  const char* const start = p;
  const bool negative = p < e && *p == '-';
  p += negative ? 1 : 0;
  const char* const whole = p;
  bool nonzero = false;
  while (p < e && static_cast<unsigned char>(*p - '0') < 10) nonzero |= *p++ != '0';
  const std::size_t whole_digits = static_cast<std::size_t>(p - whole);
  if (whole_digits == 0 || (whole_digits > 1 && *whole == '0')) return {};
  std::size_t places = 0;
  if (p < e && *p == '.') {
    ++p;
    const char* const fraction = p;
    while (p < e && static_cast<unsigned char>(*p - '0') < 10) nonzero |= *p++ != '0';
    places = static_cast<std::size_t>(p - fraction);
    if (places == 0) return {};
  }
  if (p != e || places != decimals || whole_digits + places > 15 || (negative && !nonzero)) return {};
  return std::string_view(start, static_cast<std::size_t>(e - start));
}

}  // namespace

bool CopyAsText(const RawField& in, const TableLayout& out_layout, const FieldInfo& out_field, char* out_record,
                LazyRegionalFormat& format, bool to_866) {
  const TableLayout& in_layout = *in.layout;
  const FieldInfo& in_field = *in.field;
  // An output field with no room refuses every value, the empty one too; memo fields, other
  // codings and separators that the 866 conversion would change are left to the text.
  if (out_field.length == 0 || out_layout.coding != TextCoding::kAsIs || in_layout.coding != TextCoding::kAsIs)
    return false;
  const FieldClass out_class = ClassOf(out_layout, out_field);
  if (out_class == FieldClass::kMemo) return false;
  const bool out_text = out_class == FieldClass::kText;
  switch (ClassOf(in_layout, in_field)) {
    case FieldClass::kText: {
      if (!out_text) return false;
      const std::string_view bytes = TrimmedBytes(in_field, in.record);
      if (bytes.empty()) {  // the empty text leaves the column blank
        EncodeBlank(out_layout, out_field, out_record);
      } else if (to_866) {
        PutText(out_field, platform::Cp1251ToCp866(bytes), out_record);
      } else {
        PutText(out_field, bytes, out_record);
      }
      return true;
    }
    case FieldClass::kInteger:
    case FieldClass::kNumber: {
      // A separator outside ASCII would be changed by the 866 conversion of the text.
      if (to_866 && static_cast<unsigned char>(format.get().decimal_separator) >= 0x80) return false;
      // Digits into a numeric field of the same places: the text would be parsed back to the
      // same number and stored as the same digits.
      if ((in_field.type == 'N' || in_field.type == 'F') && (out_field.type == 'N' || out_field.type == 'F') &&
          out_field.decimals < out_field.length) {
        const std::string_view digits = CanonicalNumber(in_field, in.record, out_field.decimals);
        if (!digits.empty() && digits.size() <= out_field.length) {
          char* p = out_record + out_field.offset;
          std::memset(p, ' ', out_field.length - digits.size());
          std::memcpy(p + out_field.length - digits.size(), digits.data(), digits.size());
          return true;
        }
      }
      double v;
      if (!DecodeNumber(in_layout, in_field, in.record, &v)) {
        EncodeBlank(out_layout, out_field, out_record);
        return true;
      }
      // Digits, the separator, a sign and an exponent's letters are the same in 866.
      if (out_text) {
        PutText(out_field, FormatNumber(v, format.get().decimal_separator), out_record);
        return true;
      }
      if (out_class == FieldClass::kInteger && v != std::trunc(v)) return false;  // the text is refused
      if ((out_class != FieldClass::kInteger && out_class != FieldClass::kNumber) || !PlainNumber(v)) return false;
      std::string why;
      return EncodeCell(out_layout, out_field, Cell::Number(v), format.get(), out_record, nullptr, &why);
    }
    case FieldClass::kDate: {
      const Cell date = DecodeField(in_layout, in_field, in.record, nullptr);
      if (date.IsNull()) {
        EncodeBlank(out_layout, out_field, out_record);
        return true;
      }
      if (out_text) {
        const std::string text = FormatDate(date.days, format.get().short_date);
        PutText(out_field, to_866 ? platform::Cp1251ToCp866(text) : text, out_record);
        return true;
      }
      if (out_class != FieldClass::kDate || !DatePictureRoundTrips(format.get().short_date)) return false;
      if (in_field.type == 'D' && out_field.type == 'D' && out_field.length >= 8) {
        // A valid date's digits: the date read back is stored as the same eight digits.
        char* p = out_record + out_field.offset;
        std::memset(p, ' ', out_field.length);
        std::memcpy(p, in.record + in_field.offset, 8);
        return true;
      }
      std::string why;
      return EncodeCell(out_layout, out_field, date, format.get(), out_record, nullptr, &why);
    }
    default: return false;
  }
}

}  // namespace epd::tables
