#include "sql/collation.h"

#include <array>
#include <cstdint>

namespace epd::sql {
namespace {

struct Weights {
  std::array<std::uint16_t, 256> primary{};
  std::array<std::uint8_t, 256> secondary{};
};

Weights MakeWeights() {
  Weights w;
  for (int c = 0; c < 256; ++c) w.primary[c] = static_cast<std::uint16_t>(1 + c);  // non-letters: by byte
  for (int d = 0; d < 10; ++d) w.primary['0' + d] = static_cast<std::uint16_t>(300 + d);
  for (int l = 0; l < 26; ++l) {
    w.primary['A' + l] = w.primary['a' + l] = static_cast<std::uint16_t>(400 + l);
    w.secondary['A' + l] = 1;
  }
  // Russian capitals А..Я are 0xC0..0xDF, small letters 0xE0..0xFF.
  auto letter = [&w](int upper, int lower, int weight, int variant) {
    w.primary[upper] = w.primary[lower] = static_cast<std::uint16_t>(weight);
    w.secondary[lower] = static_cast<std::uint8_t>(2 * variant);
    w.secondary[upper] = static_cast<std::uint8_t>(2 * variant + 1);
  };
  for (int i = 0; i < 32; ++i) letter(0xC0 + i, 0xE0 + i, 600 + 4 * i, 0);
  const int kE = 600 + 4 * 5, kG = 600 + 4 * 3, kI = 600 + 4 * 8, kU = 600 + 4 * 19;
  letter(0xA8, 0xB8, kE, 1);          // Ё ё share Е's place
  letter(0xAA, 0xBA, kE + 1, 0);      // Є є
  letter(0xA5, 0xB4, kG + 1, 0);      // Ґ ґ
  letter(0xB2, 0xB3, kI + 1, 0);      // І і
  letter(0xAF, 0xBF, kI + 2, 0);      // Ї ї
  letter(0xA1, 0xA2, kU + 1, 0);      // Ў ў
  const int kAfterYa = 600 + 4 * 32;  // the other Cyrillic letters of the code page
  const int others[][2] = {{0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D},
                           {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA3, 0xBC}, {0xBD, 0xBE}};
  for (std::size_t i = 0; i < sizeof others / sizeof others[0]; ++i)
    letter(others[i][0], others[i][1], kAfterYa + static_cast<int>(i), 0);
  return w;
}

const Weights& Table() {
  static const Weights w = MakeWeights();
  return w;
}

}  // namespace

int CollateCompare(std::string_view a, std::string_view b) {
  const Weights& w = Table();
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto pa = w.primary[static_cast<unsigned char>(a[i])];
    const auto pb = w.primary[static_cast<unsigned char>(b[i])];
    if (pa != pb) return pa < pb ? -1 : 1;
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (std::size_t i = 0; i < n; ++i) {
    const auto sa = w.secondary[static_cast<unsigned char>(a[i])];
    const auto sb = w.secondary[static_cast<unsigned char>(b[i])];
    if (sa != sb) return sa < sb ? -1 : 1;
  }
  const int raw = a.compare(b);
  return raw < 0 ? -1 : raw > 0 ? 1 : 0;
}

}  // namespace epd::sql
