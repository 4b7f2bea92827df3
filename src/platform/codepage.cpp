#include "platform/codepage.h"

#include <algorithm>

#include <array>

#include "platform/codepage_tables.h"

namespace epd::platform {
namespace {

using tables::kCp1251High;
using tables::kCp866High;

constexpr std::array<unsigned char, 256> MakeCp1251To866() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 128; ++i) t[i] = static_cast<unsigned char>(i);
  for (int b = 0x80; b < 0x100; ++b) {
    char16_t u = kCp1251High[b - 0x80];
    int out = '?';
    for (int k = 0; k < 128; ++k)
      if (kCp866High[k] == u) out = 0x80 + k;
    t[b] = static_cast<unsigned char>(out);
  }
  auto fit = [&t](int from, int to) { t[from] = static_cast<unsigned char>(to); };
  // Best fit for what 866 lacks (see the header).
  fit(0x82, ','), fit(0x84, '"'), fit(0x85, '.'), fit(0x86, '+'), fit(0x87, '+');
  fit(0x88, 'E'), fit(0x89, '%'), fit(0x8B, '<'), fit(0x9B, '>');
  fit(0x91, '\''), fit(0x92, '\''), fit(0x93, '"'), fit(0x94, '"');
  fit(0x95, 0xF9), fit(0x96, '-'), fit(0x97, '-'), fit(0x99, 'T');
  fit(0xA6, '|'), fit(0xA9, 'c'), fit(0xAB, '"'), fit(0xAC, '-'), fit(0xAD, '-');
  fit(0xAE, 'r'), fit(0xB1, '+'), fit(0xB5, 'u'), fit(0xBB, '"');
  fit(0xB2, 'I'), fit(0xB3, 'i'), fit(0xA5, 0x83), fit(0xB4, 0xA3);
  fit(0x81, 0x83), fit(0x83, 0xA3), fit(0x8D, 0x8A), fit(0x9D, 0xAA);
  fit(0xA3, 'J'), fit(0xBC, 'j'), fit(0xBD, 'S'), fit(0xBE, 's');
  return t;
}

constexpr std::array<unsigned char, 256> MakeCp866To1251() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 128; ++i) t[i] = static_cast<unsigned char>(i);
  for (int b = 0x80; b < 0x100; ++b) {
    int cp = tables::Cp1251ByteOf(kCp866High[b - 0x80]);
    t[b] = static_cast<unsigned char>(cp < 0 ? '?' : cp);
  }
  return t;
}

constexpr std::array<unsigned char, 256> MakeUpper() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  for (int c = 'a'; c <= 'z'; ++c) t[c] = static_cast<unsigned char>(c - 32);
  for (int c = 0xE0; c <= 0xFF; ++c) t[c] = static_cast<unsigned char>(c - 32);
  const int pairs[][2] = {{0xB8, 0xA8}, {0xA2, 0xA1}, {0xB3, 0xB2}, {0xB4, 0xA5}, {0xBA, 0xAA},
                          {0xBF, 0xAF}, {0xBC, 0xA3}, {0xBE, 0xBD}, {0x83, 0x81}, {0x90, 0x80},
                          {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D}, {0x9E, 0x8E}, {0x9F, 0x8F}};
  for (const auto& p : pairs) t[p[0]] = static_cast<unsigned char>(p[1]);
  return t;
}

constexpr std::array<unsigned char, 256> MakeLower() {
  std::array<unsigned char, 256> t{};
  for (int i = 0; i < 256; ++i) t[i] = static_cast<unsigned char>(i);
  constexpr auto upper = MakeUpper();
  for (int i = 0; i < 256; ++i)
    if (upper[i] != i) t[upper[i]] = static_cast<unsigned char>(i);
  return t;
}

constexpr auto kTo866 = MakeCp1251To866();
constexpr auto kFrom866 = MakeCp866To1251();
constexpr auto kUpper = MakeUpper();
constexpr auto kLower = MakeLower();

char16_t Cp1251CodePoint(unsigned char b) { return b < 0x80 ? b : kCp1251High[b - 0x80]; }

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char Cp1251OrQuestion(char32_t cp) {
  int b = tables::Cp1251ByteOf(cp);
  return static_cast<char>(b < 0 ? '?' : b);
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view text) {
  // ASCII is the same in both, and most paths are ASCII.
  if (std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, Cp1251CodePoint(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1251(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    std::size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    bool ok = len != 0 && i + len <= text.size();
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; ok && k < len; ++k) {
      unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok) {  // not UTF-8: take the byte as it is
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    out += Cp1251OrQuestion(cp);
    i += len;
  }
  return out;
}

std::u16string Cp1251ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out += Cp1251CodePoint(static_cast<unsigned char>(c));
  return out;
}

std::string Utf16ToCp1251(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
      ++i;  // a surrogate pair: nothing outside the BMP exists in 1251
      cp = 0x10000;
    }
    out += Cp1251OrQuestion(cp);
  }
  return out;
}

void Cp1251ToCp866InPlace(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(kTo866[static_cast<unsigned char>(data[i])]);
}

std::string Cp1251ToCp866(std::string_view text) {
  std::string out(text);
  Cp1251ToCp866InPlace(out.data(), out.size());
  return out;
}

std::string Cp866ToCp1251(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(kFrom866[static_cast<unsigned char>(c)]);
  return out;
}

std::string Cp866ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    AppendUtf8(out, b < 0x80 ? b : kCp866High[b - 0x80]);
  }
  return out;
}

char UpperCp1251(char c) { return static_cast<char>(kUpper[static_cast<unsigned char>(c)]); }
char LowerCp1251(char c) { return static_cast<char>(kLower[static_cast<unsigned char>(c)]); }

std::string UpperCp1251(std::string_view text) {
  std::string out(text);
  UpperCp1251InPlace(out.data(), out.size());
  return out;
}

void UpperCp1251InPlace(char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>(kUpper[static_cast<unsigned char>(text[i])]);
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (kUpper[static_cast<unsigned char>(a[i])] != kUpper[static_cast<unsigned char>(b[i])]) return false;
  return true;
}

}  // namespace epd::platform
