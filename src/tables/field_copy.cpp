// Copying: the copy fast path of Table::SetFromAt, storing what the text of the input field would
// store without making the text.
#include "tables/field_copy.h"

#include <cmath>
#include <cstring>

#include "platform/codepage.h"
#include "tables/calendar.h"
#include "tables/field_codec.h"
#include "tables/field_forms.h"
#include "tables/number_text.h"
#include "tables/raw_field.h"

namespace epd::tables {
namespace {

using forms::PutText;

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

// One copy: the input field's bytes into the output record.
struct Copy {
  const TableLayout& in_layout;
  const FieldInfo& in_field;
  const char* in_record;
  const TableLayout& out_layout;
  const FieldInfo& out_field;
  char* out_record;
  FieldClass out_class;
  LazyRegionalFormat& format;
  bool to_866;
};

bool CopyText(const Copy& c) {
  if (c.out_class != FieldClass::kText) return false;
  const std::string_view bytes = TrimmedBytes(c.in_field, c.in_record);
  if (bytes.empty()) {  // the empty text leaves the column blank
    EncodeBlank(c.out_layout, c.out_field, c.out_record);
  } else if (c.to_866) {
    PutText(c.out_field, platform::Cp1251ToCp866(bytes), c.out_record);
  } else {
    PutText(c.out_field, bytes, c.out_record);
  }
  return true;
}

bool CopyNumber(const Copy& c) {
  // A separator outside ASCII would be changed by the 866 conversion of the text.
  if (c.to_866 && static_cast<unsigned char>(c.format.get().decimal_separator) >= 0x80) return false;
  const FieldInfo& in_field = c.in_field;
  const FieldInfo& out_field = c.out_field;
  // Digits into a numeric field of the same places: the text would be parsed back to the same
  // number and stored as the same digits.
  if ((in_field.type == 'N' || in_field.type == 'F') && (out_field.type == 'N' || out_field.type == 'F') &&
      out_field.decimals < out_field.length) {
    const std::string_view digits = CanonicalNumber(in_field, c.in_record, out_field.decimals);
    if (!digits.empty() && digits.size() <= out_field.length) {
      char* p = c.out_record + out_field.offset;
      std::memset(p, ' ', out_field.length - digits.size());
      std::memcpy(p + out_field.length - digits.size(), digits.data(), digits.size());
      return true;
    }
  }
  double v;
  if (!DecodeNumber(c.in_layout, in_field, c.in_record, &v)) {
    EncodeBlank(c.out_layout, out_field, c.out_record);
    return true;
  }
  // Digits, the separator, a sign and an exponent's letters are the same in 866.
  if (c.out_class == FieldClass::kText) {
    PutText(out_field, FormatNumber(v, c.format.get().decimal_separator), c.out_record);
    return true;
  }
  if (c.out_class == FieldClass::kInteger && v != std::trunc(v)) return false;  // the text is refused
  if ((c.out_class != FieldClass::kInteger && c.out_class != FieldClass::kNumber) || !PlainNumber(v)) return false;
  std::string why;
  return EncodeCell(c.out_layout, out_field, Cell::Number(v), c.format.get(), c.out_record, nullptr, &why);
}

bool CopyDate(const Copy& c) {
  const Cell date = DecodeField(c.in_layout, c.in_field, c.in_record, nullptr);
  if (date.IsNull()) {
    EncodeBlank(c.out_layout, c.out_field, c.out_record);
    return true;
  }
  if (c.out_class == FieldClass::kText) {
    const std::string text = FormatDate(date.days, c.format.get().short_date);
    PutText(c.out_field, c.to_866 ? platform::Cp1251ToCp866(text) : text, c.out_record);
    return true;
  }
  if (c.out_class != FieldClass::kDate || !DatePictureRoundTrips(c.format.get().short_date)) return false;
  if (c.in_field.type == 'D' && c.out_field.type == 'D' && c.out_field.length >= 8) {
    // A valid date's digits: the date read back is stored as the same eight digits.
    char* p = c.out_record + c.out_field.offset;
    std::memset(p, ' ', c.out_field.length);
    std::memcpy(p, c.in_record + c.in_field.offset, 8);
    return true;
  }
  std::string why;
  return EncodeCell(c.out_layout, c.out_field, date, c.format.get(), c.out_record, nullptr, &why);
}

}  // namespace

bool CopyAsText(const RawField& in, const TableLayout& out_layout, const FieldInfo& out_field, char* out_record,
                LazyRegionalFormat& format, bool to_866) {
  // An output field with no room refuses every value, the empty one too; memo fields, other
  // codings and separators that the 866 conversion would change are left to the text.
  if (out_field.length == 0 || out_layout.coding != TextCoding::kAsIs || in.layout->coding != TextCoding::kAsIs)
    return false;
  const FieldClass out_class = ClassOf(out_layout, out_field);
  if (out_class == FieldClass::kMemo) return false;
  const Copy copy{*in.layout, *in.field, in.record, out_layout, out_field, out_record, out_class, format, to_866};
  switch (ClassOf(*in.layout, *in.field)) {
    case FieldClass::kText: return CopyText(copy);
    case FieldClass::kInteger:
    case FieldClass::kNumber: return CopyNumber(copy);
    case FieldClass::kDate: return CopyDate(copy);
    default: return false;
  }
}

}  // namespace epd::tables
