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

template <std::size_t N>
struct Utf8Literal {
  char bytes[N]{};
  constexpr Utf8Literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) bytes[i] = s[i];
  }
};

template <Utf8Literal L>
struct Cp1251Literal {
  static constexpr std::size_t kInput = sizeof(L.bytes) - 1;  // without the terminating NUL
  static constexpr std::size_t Count() {
    std::size_t n = 0;
    for (std::size_t i = 0; i < kInput; ++i)
      if ((static_cast<unsigned char>(L.bytes[i]) & 0xC0) != 0x80) ++n;
    return n;
  }
  static constexpr std::array<char, Count() + 1> Make() {
    std::array<char, Count() + 1> out{};
    std::size_t o = 0;
    for (std::size_t i = 0; i < kInput;) {
      unsigned c = static_cast<unsigned char>(L.bytes[i]);
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
      for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(L.bytes[i + k]) & 0x3F);
      int b = platform::tables::Cp1251ByteOf(cp);
      if (b < 0) throw "character without a code page 1251 form in a literal";
      out[o++] = static_cast<char>(b);
      i += len;
    }
    return out;
  }
  static constexpr std::array<char, Count() + 1> value = Make();
};

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

template <text_detail::Utf8Literal L>
constexpr CpText operator""_cp() {
  using Lit = text_detail::Cp1251Literal<L>;
  return CpText(std::string_view(Lit::value.data(), Lit::Count()));
}

}  // namespace epd
