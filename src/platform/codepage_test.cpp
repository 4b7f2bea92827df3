#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace epd::platform {
namespace {

std::string AllBytes(int from, int to) {
  std::string s;
  for (int b = from; b <= to; ++b) s += static_cast<char>(b);
  return s;
}

TEST(CodePageTest, EveryByteOf1251SurvivesUtf8AndUtf16) {
  std::string all = AllBytes(1, 255);
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
  EXPECT_EQ(Utf16ToCp1251(Cp1251ToUtf16(all)), all);
  EXPECT_EQ(Cp1251ToUtf8("Ёлка №5"_cp), "Ёлка №5");
  EXPECT_EQ(Cp1251ToUtf16("Жж"_cp), u"Жж");
}

TEST(CodePageTest, TextWithout1251FormBecomesQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a€b日c"),
            "a\x88"
            "b?c");
  EXPECT_EQ(Utf16ToCp1251(u"x\U0001F600y"), "x?y");
  EXPECT_EQ(Utf8ToCp1251("\xFF\xD0"), "\xFF\xD0");  // not UTF-8: bytes kept
}

TEST(CodePageTest, RussianLettersGoTo866AndBack) {
  std::string russian = AllBytes(0xC0, 0xFF) + "\xA8\xB8";  // А..я, Ё, ё
  std::string dos = Cp1251ToCp866(russian);
  EXPECT_EQ(static_cast<unsigned char>(dos[0]), 0x80);     // А
  EXPECT_EQ(static_cast<unsigned char>(dos[0x30]), 0xE0);  // р
  EXPECT_EQ(static_cast<unsigned char>(dos[64]), 0xF0);    // Ё
  EXPECT_EQ(Cp866ToCp1251(dos), russian);
  EXPECT_EQ(Cp866ToUtf8(dos), Cp1251ToUtf8(russian));
  std::string ascii = AllBytes(1, 127);
  EXPECT_EQ(Cp1251ToCp866(ascii), ascii);
}

TEST(CodePageTest, CharactersThat866LacksGetABestFit) {
  struct Case {
    std::string_view from;
    std::string_view to;
  } cases[] = {{"«Аптека» — №1"_cp,
                "\"\x80\xAF\xE2\xA5\xAA\xA0\" - \xFC"
                "1"},
               {"“x” ‘y’ …"_cp, "\"x\" 'y' ."},
               {"\xA0\xB0\xB7\xA4", "\xFF\xF8\xFA\xFD"},
               {"\x98\xA7\xB6", "???"}};
  for (const Case& c : cases) EXPECT_EQ(Cp1251ToCp866(c.from), c.to) << Cp1251ToUtf8(c.from);
}

TEST(CodePageTest, CaseFoldingCoversCyrillic) {
  EXPECT_EQ(UpperCp1251("абв ёжик xyz їє"_cp), "АБВ ЁЖИК XYZ ЇЄ"_cp);
  EXPECT_EQ(LowerCp1251('\xC0'), '\xE0');
  EXPECT_TRUE(EqualsIgnoreCase("IdSeller", "IDSELLER"));
  EXPECT_TRUE(EqualsIgnoreCase("Ёж"_cp, "ёЖ"_cp));
  EXPECT_FALSE(EqualsIgnoreCase("Е"_cp, "Ё"_cp));
}

}  // namespace
}  // namespace epd::platform
