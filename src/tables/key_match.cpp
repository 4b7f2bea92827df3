#include "tables/key_match.h"

#include "tables/field_codec.h"
#include "tables/number_text.h"

namespace epd::tables {

bool FieldMatchesKey(const TableLayout& layout, const FieldInfo& field, const char* record, MemoFile* memo,
                     const Value& key, const platform::RegionalFormat& format) {
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

}  // namespace epd::tables
