#include "suppliers/search_keys.h"

#include "platform/codepage.h"
#include "platform/text.h"

namespace epd::suppliers {
namespace {

struct KeyLetter {
  int key;
  std::string_view letter;
};

// The capital Cyrillic letters the keys carry on the standard Russian keyboard.
constexpr KeyLetter kRussianLetters[] = {
    {65, "Ф"_cp},  {66, "И"_cp},  {67, "С"_cp},  {68, "В"_cp},  {69, "У"_cp},  {70, "А"_cp},  {71, "П"_cp},
    {72, "Р"_cp},  {73, "Ш"_cp},  {74, "О"_cp},  {75, "Л"_cp},  {76, "Д"_cp},  {77, "Ь"_cp},  {78, "Т"_cp},
    {79, "Щ"_cp},  {80, "З"_cp},  {81, "Й"_cp},  {82, "К"_cp},  {83, "Ы"_cp},  {84, "Е"_cp},  {85, "Г"_cp},
    {86, "М"_cp},  {87, "Ц"_cp},  {88, "Ч"_cp},  {89, "Н"_cp},  {90, "Я"_cp},  {186, "Ж"_cp}, {188, "Б"_cp},
    {190, "Ю"_cp}, {192, "Ё"_cp}, {219, "Х"_cp}, {221, "Ъ"_cp}, {222, "Э"_cp},
};

// The signs of the other layouts; the apostrophe key gives a double quote, so that the text
// never holds an apostrophe, and ` gives nothing.
constexpr KeyLetter kOtherSigns[] = {
    {186, ";"}, {188, ","}, {190, "."}, {219, "["}, {221, "]"}, {222, "\""}, {192, ""},
};

bool IsRussian(std::string_view layout) { return platform::UpperCp1251(layout) == kRussianLayout; }

}  // namespace

bool IsSearchKey(int key) {
  return (key >= 61 && key <= 299) || (key >= '0' && key <= '9') || key == kVkSpace || key == kVkBack;
}

std::string NextSearchText(int key, std::string_view layout, std::string_view text) {
  std::string next(text);
  if (key == kVkBack) {
    if (!next.empty()) next.pop_back();
    return next;
  }
  if (key == kVkSpace) return next + ' ';
  if (key >= '0' && key <= '9') return next + static_cast<char>(key);
  if (key == 111) return next + '/';  // "/" of the numeric keypad
  if (key == 189) return next + '-';  // the minus key

  if (IsRussian(layout)) {
    for (const KeyLetter& k : kRussianLetters)
      if (k.key == key) return next.append(k.letter);
    return next;
  }
  if (key >= 'A' && key <= 'Z') return next + static_cast<char>(key);
  for (const KeyLetter& k : kOtherSigns)
    if (k.key == key) return next.append(k.letter);
  return next;
}

}  // namespace epd::suppliers
