#include "tables/cell_reading.h"

#include <cmath>

#include "platform/regional.h"
#include "platform/text.h"
#include "tables/field_codec.h"
#include "tables/number_text.h"
#include "tables/table_errors.h"

namespace epd::tables {

std::int32_t CellToInteger(const Cell& cell, std::string_view table, std::string_view column) {
  switch (cell.kind) {
    case Cell::kNull: return 0;
    case Cell::kBool: return cell.boolean ? 1 : 0;
    case Cell::kNumber: {
      const double v = std::nearbyint(cell.number);
      if (v >= -2147483648.0 && v <= 2147483647.0) return static_cast<std::int32_t>(v);
      break;
    }
    case Cell::kText: {
      std::int64_t v;
      if (ParseUserInteger(cell.text, &v) && v >= INT32_MIN && v <= INT32_MAX) return static_cast<std::int32_t>(v);
      break;
    }
    default: break;
  }
  ThrowCannotRead(table, column, CellToText(cell, platform::CurrentRegionalFormat()), "целое число"_cp);
}

bool CellToBoolean(const Cell& cell, std::string_view table, std::string_view column) {
  switch (cell.kind) {
    case Cell::kNull: return false;
    case Cell::kBool: return cell.boolean;
    case Cell::kNumber: return cell.number != 0;
    case Cell::kText: {
      const char c = cell.text.empty() ? ' ' : cell.text[0];
      return c == 'T' || c == 't' || c == 'Y' || c == 'y' || c == '1';
    }
    default: break;
  }
  ThrowCannotRead(table, column, CellToText(cell, platform::CurrentRegionalFormat()), "логическое значение"_cp);
}

}  // namespace epd::tables
