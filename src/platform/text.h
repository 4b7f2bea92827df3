#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/codepage_tables.h"

// Russian texts of the program are code page 1251 data. The sources are UTF-8, so a literal
// written as "Ошибка"_cp is converted at compile time into its 1251 bytes and used as a
// std::string_view with static storage.
namespace epd::text_detail {

template <char... C>
constexpr std::size_t Cp1251Count() {
  constexpr char input[] = {C..., '\0'};
  std::size_t n = 0;
  for (std::size_t i = 0; i < sizeof...(C); ++i)
    if ((static_cast<unsigned char>(input[i]) & 0xC0) != 0x80) ++n;
  return n;
}

template <char... C>
constexpr std::array<char, Cp1251Count<C...>() + 1> Cp1251Bytes() {
  constexpr char input[] = {C..., '\0'};
  std::array<char, Cp1251Count<C...>() + 1> out{};
  std::size_t o = 0;
  for (std::size_t i = 0; i < sizeof...(C);) {
    unsigned c = static_cast<unsigned char>(input[i]);
    unsigned cp = 0;
    std::size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      len = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      len = 3;
    } else {
      throw "4-byte UTF-8 sequences have no code page 1251 form";
    }
    for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(input[i + k]) & 0x3F);
    int b = platform::tables::Cp1251ByteOf(cp);
    if (b < 0) throw "character without a code page 1251 form in a literal";
    out[o++] = static_cast<char>(b);
    i += len;
  }
  return out;
}

// Static storage of one literal's bytes.
template <char... C>
inline constexpr std::array<char, Cp1251Count<C...>() + 1> kCp1251Storage = Cp1251Bytes<C...>();

}  // namespace epd::text_detail

namespace epd {

// A 1251 text literal: a string_view with static storage that also joins std::string with "+".
struct CpText : std::string_view {
  constexpr CpText(std::string_view v) : std::string_view(v) {}
  operator std::string() const { return std::string(data(), size()); }

  friend std::string operator+(const std::string& a, CpText b) { return a + std::string(b); }
  friend std::string operator+(CpText a, const std::string& b) { return std::string(a) + b; }
  friend std::string operator+(CpText a, CpText b) { return std::string(a) + std::string(b); }
  friend std::string operator+(const char* a, CpText b) { return a + std::string(b); }
  friend std::string operator+(CpText a, const char* b) { return std::string(a) + b; }
  friend std::string operator+(CpText a, char b) { return std::string(a) + b; }
};

#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wgnu-string-literal-operator-template"
#endif
template <typename Char, Char... C>
constexpr CpText operator""_cp() {
  return CpText(std::string_view(text_detail::kCp1251Storage<C...>.data(), text_detail::Cp1251Count<C...>()));
}
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

}  // namespace epd
