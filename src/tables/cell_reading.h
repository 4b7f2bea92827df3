#pragma once

#include <cstdint>
#include <string_view>

#include "tables/cell.h"

// A value read as an integer or a logical, the way a column is read through RowReader. Raises
// epd::Error naming the table, the column and the value when it cannot be given in that form.
namespace epd::tables {

// Null reads as 0; numbers are rounded to the nearest integer; texts must be whole numbers.
std::int32_t CellToInteger(const Cell& cell, std::string_view table, std::string_view column);
// Null reads as false; numbers are true when not 0; texts are true when they begin with T, Y or 1.
bool CellToBoolean(const Cell& cell, std::string_view table, std::string_view column);

}  // namespace epd::tables
