#pragma once

#include <cstddef>
#include <string>

// Opens a table and reads every column of every row as text, integer and logical, the way the
// export reads host tables. For damage checks and as the entry point of the file fuzzer: any
// bytes must either read or raise epd::Error, never crash or read outside the file.
namespace epd::tables {

// The number of rows read. Raises epd::Error when the file cannot be opened as a table; a value
// that cannot be read as an integer or a logical is not an error here.
std::size_t ReadWholeTable(const std::string& path);

}  // namespace epd::tables
