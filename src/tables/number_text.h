#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Numbers as text: the user's form (regional decimal separator) and the form stored in dBASE
// numeric fields (ASCII, right-aligned, '.' as decimal point).
namespace epd::tables {

// The shortest text of at most 15 significant digits: integers plainly, "12,5" with a decimal
// comma, and an exponent ("1E20") only where the digits would not do.
std::string FormatNumber(double value, char decimal_separator);

// A number in the user's form: optional blanks and sign, digits, the decimal separator and an
// exponent. False for anything else.
bool ParseUserNumber(std::string_view text, char decimal_separator, double* value);
// A whole decimal number with optional blanks and sign.
bool ParseUserInteger(std::string_view text, std::int64_t* value);

// The value of a stored numeric field. Takes what real files hold: blanks or NUL bytes around the
// digits, a comma as the decimal point, "1.E+3". False when the field holds no number (blank,
// '*' overflow marks, a lone '.', garbage).
bool ParseStoredNumber(const char* bytes, std::size_t size, double* value);

// Writes `value` right-aligned into a numeric field of `width` bytes with `decimals` places.
// False when it does not fit.
bool FormatStoredNumber(double value, std::uint32_t width, std::uint32_t decimals, char* out);

}  // namespace epd::tables
