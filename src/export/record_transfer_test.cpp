#include "export/record_transfer.h"

#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/text.h"

namespace epd::exporter {
namespace {

TEST(RecordTransfer, ConvertCodingFollowsTheOptionForTextsOfAnyLength) {
  const std::string text = "Цена 12,50 руб. Ёж"_cp;
  std::string long_text;
  for (int i = 0; i < 500; ++i) long_text += "Яблоко "_cp;  // 3500 characters
  EXPECT_EQ(ConvertCoding(text, false), text);
  EXPECT_EQ(ConvertCoding(long_text, false), long_text);
  EXPECT_EQ(ConvertCoding(text, true), platform::Cp1251ToCp866(text));
  EXPECT_EQ(ConvertCoding("12,50 01.02.2024", true), "12,50 01.02.2024");
  std::string converted = ConvertCoding(long_text, true);
  ASSERT_EQ(converted.size(), long_text.size());
  EXPECT_EQ(converted.substr(3493), platform::Cp1251ToCp866("Яблоко "_cp));
  EXPECT_EQ(ConvertCoding("", true), "");
}

}  // namespace
}  // namespace epd::exporter
