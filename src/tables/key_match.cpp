#include "tables/key_match.h"

#include "tables/field_codec.h"
#include "tables/nearest_double.h"
#include "tables/number_text.h"

namespace epd::tables {

bool FieldMatchesKey(const TableLayout& layout, const FieldInfo& field, const char* record, MemoFile* memo,
                     const Value& key, const platform::RegionalFormat& format) {
  // The common searches, a number in a numeric field and a text in a character field, straight
  // on the field's bytes; they answer what the comparisons below answer.
  const FieldClass cls = ClassOf(layout, field);
  if (cls == FieldClass::kInteger || cls == FieldClass::kNumber) {
    const double* d = std::get_if<double>(&key);
    const std::int32_t* i = std::get_if<std::int32_t>(&key);
    if (d != nullptr || i != nullptr) {
      double v;
      return DecodeNumber(layout, field, record, &v) && v == (d != nullptr ? *d : *i);
    }
  } else if (cls == FieldClass::kText && layout.coding == TextCoding::kAsIs) {
    if (const auto* s = std::get_if<std::string>(&key)) return TrimmedBytes(field, record) == *s;
  }
  const Cell cell = DecodeField(layout, field, record, memo);
  if (std::holds_alternative<std::monostate>(key)) return cell.IsNull();
  if (const auto* s = std::get_if<std::string>(&key)) {
    if (cell.kind == Cell::kText || ClassOf(layout, field) == FieldClass::kText ||
        ClassOf(layout, field) == FieldClass::kMemo)
      return cell.IsNull() ? s->empty() : cell.text == *s;
    if (s->empty()) return cell.IsNull();
    Cell wanted;
    std::string why;
    if (!UserTextToCell(layout, field, *s, format, &wanted, &why)) {
      // A number written with '.' still finds a numeric field.
      double v;
      if (cell.kind == Cell::kNumber && ParseUserNumber(*s, '.', &v)) return cell.number == v;
      return false;
    }
    if (cell.kind != wanted.kind) return false;
    switch (cell.kind) {
      case Cell::kNumber: return cell.number == wanted.number;
      case Cell::kDate: return cell.days == wanted.days;
      case Cell::kTimestamp: return cell.days == wanted.days && cell.ms == wanted.ms;
      case Cell::kBool: return cell.boolean == wanted.boolean;
      default: return false;
    }
  }
  const double number = std::holds_alternative<std::int32_t>(key) ? std::get<std::int32_t>(key) : std::get<double>(key);
  switch (cell.kind) {
    case Cell::kNumber: return cell.number == number;
    case Cell::kText: return cell.text == FormatNumber(number, format.decimal_separator);
    case Cell::kBool: return cell.boolean == (number != 0);
    default: return false;
  }
}

KeyMatcher::KeyMatcher(const TableLayout& layout, const FieldInfo& field, MemoFile* memo, const Value& key,
                       const platform::RegionalFormat& format)
    : layout_(layout), field_(field), memo_(memo), key_(key), format_(format) {
  const double* d = std::get_if<double>(&key);
  const std::int32_t* i = std::get_if<std::int32_t>(&key);
  const FieldClass cls = ClassOf(layout, field);
  if ((d != nullptr || i != nullptr) && (field.type == 'N' || field.type == 'F') &&
      (cls == FieldClass::kInteger || cls == FieldClass::kNumber)) {
    stored_digits_ = true;
    number_ = d != nullptr ? *d : *i;
  }
}

bool KeyMatcher::Matches(const char* record) const {
  if (stored_digits_) {
    std::int64_t v;
    // The field's double, rounded as stored: on the x87 unit a converted integer would otherwise
    // be compared whole, with its 64 bits.
    if (DecodePlainInteger(field_, record, &v)) return NearestDouble(v) == number_;
  }
  return FieldMatchesKey(layout_, field_, record, memo_, key_, format_);
}

}  // namespace epd::tables
