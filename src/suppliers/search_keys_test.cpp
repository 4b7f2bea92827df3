#include "suppliers/search_keys.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace epd::suppliers {
namespace {

constexpr std::string_view kEnglish = "00000409";

TEST(SearchKeysTest, KeysThatActTheSameInEveryLayout) {
  struct Case {
    int key;
    std::string before, after;
  } cases[] = {
      {8, "AB", "A"},   {8, "", ""},      {8, "Ф"_cp, ""},  {32, "A", "A "}, {48, "", "0"},  {57, "X", "X9"},
      {111, "1", "1/"}, {189, "1", "1-"}, {13, "AB", "AB"}, {112, "A", "A"}, {96, "A", "A"}, {107, "A", "A"},
      {187, "A", "A"},  {191, "A", "A"},  {220, "A", "A"},  {299, "A", "A"},
  };
  for (std::string_view layout : {kEnglish, kRussianLayout}) {
    for (const Case& c : cases) EXPECT_EQ(NextSearchText(c.key, layout, c.before), c.after) << c.key << " " << layout;
  }
}

TEST(SearchKeysTest, RussianLayoutGivesTheCyrillicCapitalsOfTheStandardKeyboard) {
  struct Case {
    int key;
    std::string_view letter;
  } cases[] = {
      {65, "Ф"_cp},  {66, "И"_cp},  {67, "С"_cp},  {68, "В"_cp},  {69, "У"_cp},  {70, "А"_cp},  {71, "П"_cp},
      {72, "Р"_cp},  {73, "Ш"_cp},  {74, "О"_cp},  {75, "Л"_cp},  {76, "Д"_cp},  {77, "Ь"_cp},  {78, "Т"_cp},
      {79, "Щ"_cp},  {80, "З"_cp},  {81, "Й"_cp},  {82, "К"_cp},  {83, "Ы"_cp},  {84, "Е"_cp},  {85, "Г"_cp},
      {86, "М"_cp},  {87, "Ц"_cp},  {88, "Ч"_cp},  {89, "Н"_cp},  {90, "Я"_cp},  {186, "Ж"_cp}, {188, "Б"_cp},
      {190, "Ю"_cp}, {192, "Ё"_cp}, {219, "Х"_cp}, {221, "Ъ"_cp}, {222, "Э"_cp},
  };
  for (const Case& c : cases)
    EXPECT_EQ(NextSearchText(c.key, kRussianLayout, "1"), "1" + std::string(c.letter)) << c.key;
  // The name is compared after upper-casing; other Russian variants are not the standard layout.
  EXPECT_EQ(NextSearchText(65, "00000419", ""), "Ф"_cp);
  EXPECT_EQ(NextSearchText(65, "00010419", ""), "A");
  EXPECT_EQ(NextSearchText(65, "", ""), "A");
}

TEST(SearchKeysTest, OtherLayoutsGiveLatinCapitalsAndSignsButNeverAnApostrophe) {
  for (int key = 'A'; key <= 'Z'; ++key)
    EXPECT_EQ(NextSearchText(key, kEnglish, ""), std::string(1, static_cast<char>(key)));
  struct Case {
    int key;
    std::string after;
  } cases[] = {{186, ";"}, {188, ","}, {190, "."}, {219, "["}, {221, "]"}, {222, "\""}, {192, ""}};
  for (const Case& c : cases) EXPECT_EQ(NextSearchText(c.key, "00000407", ""), c.after) << c.key;
}

TEST(SearchKeysTest, NoKeyEverPutsAQuoteOrALikeWildcardIntoTheText) {
  for (std::string_view layout : {kEnglish, kRussianLayout, std::string_view("0000040c")}) {
    for (int key = -5; key < 1000; ++key) {
      std::string next = NextSearchText(key, layout, "AB");
      EXPECT_EQ(next.find_first_of("'%_"), std::string::npos) << key;
      EXPECT_TRUE(next == "AB" || next == "A" || (next.size() == 3 && next.compare(0, 2, "AB") == 0)) << key;
    }
  }
}

TEST(SearchKeysTest, WhichKeysRunTheSearch) {
  for (int key : {8, 32, 48, 57, 61, 65, 96, 111, 189, 222, 299}) EXPECT_TRUE(IsSearchKey(key)) << key;
  for (int key : {0, 9, 13, 16, 27, 33, 37, 40, 45, 46, 47, 58, 60, 300}) EXPECT_FALSE(IsSearchKey(key)) << key;
}

}  // namespace
}  // namespace epd::suppliers
