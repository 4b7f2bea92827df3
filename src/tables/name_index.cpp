#include "tables/name_index.h"

#include "platform/codepage.h"

namespace epd::tables {

std::size_t NameIndex::SlotCountFor(std::size_t count) {
  std::size_t slots = 8;
  while (slots < 2 * count) slots *= 2;
  return slots;
}

std::uint32_t NameIndex::Hash(std::string_view name) {
  std::uint32_t h = 2166136261u;
  for (char c : name) {
    // Upper case: ASCII here, the rest of code page 1251 by the table.
    const auto b = static_cast<unsigned char>(c);
    const unsigned u =
        b < 0x80 ? (b >= 'a' && b <= 'z' ? b - 32u : b) : static_cast<unsigned char>(platform::UpperCp1251(c));
    h = (h ^ u) * 16777619u;
  }
  return h;
}

bool NameIndex::SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && platform::EqualsIgnoreCase(a, b);
}

}  // namespace epd::tables
