#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "tables/dbf_layout.h"

// The stored forms that decoding, encoding and copying share: the epochs of the binary date
// types, the order-preserving doubles of level 7, the code page of character bytes.
namespace epd::tables::forms {

constexpr std::int64_t kDayMs = 86400000;
constexpr std::int64_t kDaysTo1970From0001 = 719162;
constexpr std::int64_t kJulianDayOf1970 = 2440588;

inline double BitsToDouble(std::uint64_t bits) {
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

inline std::uint64_t DoubleToBits(double d) {
  std::uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// Level 7 keeps binary numbers big-endian and order-preserving: integers with the sign bit
// flipped, doubles with the sign bit set (>= 0) or all bits inverted (< 0).
inline bool Level7Binary(const TableLayout& layout) { return layout.family == DbfFamily::kDbase7; }

inline std::uint64_t SortableDoubleBits(double v) {
  const std::uint64_t bits = DoubleToBits(v == 0 ? 0.0 : v);
  return (bits >> 63) ? ~bits : bits | (1ull << 63);
}

inline double DoubleFromSortableBits(std::uint64_t bits) {
  return BitsToDouble((bits >> 63) ? bits & ~(1ull << 63) : ~bits);
}

inline bool AllZero(const char* p, std::uint32_t n) {
  for (std::uint32_t i = 0; i < n; ++i)
    if (p[i] != 0) return false;
  return true;
}

// Character bytes of the table as the program's code page 1251 text, and back.
inline std::string FromTableText(const TableLayout& layout, std::string_view bytes) {
  if (layout.coding == TextCoding::kCp866) return platform::Cp866ToCp1251(bytes);
  return std::string(bytes);
}

inline std::string ToTableText(const TableLayout& layout, std::string_view text) {
  if (layout.coding == TextCoding::kCp866) return platform::Cp1251ToCp866(text);
  return std::string(text);
}

// The text into a character field of a table whose bytes are taken as they are: cut to the
// field, blanks after it.
inline void PutText(const FieldInfo& field, std::string_view text, char* record) {
  char* p = record + field.offset;
  std::memset(p, ' ', field.length);
  std::memcpy(p, text.data(), std::min<std::size_t>(text.size(), field.length));
}

}  // namespace epd::tables::forms
