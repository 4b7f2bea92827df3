#include "export/record_transfer.h"

#include <gtest/gtest.h>

#include "export/library_state.h"
#include "platform/codepage.h"
#include "platform/test_support.h"
#include "platform/text.h"

namespace epd::exporter {
namespace {

TEST(RecordTransfer, AFieldIsExportedOnlyWithNameLengthAndAType) {
  struct Case {
    const char* section;
    const char* column;  // "" = not exported
  } cases[] = {
      {"name=SUM\nlength=9\ntype=ftFloat\n", "SUM"},
      {"name=SUM\ntype=ftFloat\n", ""},
      {"name=SUM\nlength=\ntype=ftFloat\n", ""},
      {"length=9\ntype=ftFloat\n", ""},
      {"name=SUM\nlength=9\n", ""},
      {"name=SUM\nlength=9\ntype=\n", ""},
      {"name=SUM\nlength=9\ntype=нет\n", ""},
      {"name=SUM\nlength=0\ntype=ftCurrency\n", "SUM"},  // exported; no column was made for it
  };
  testing_support::TempDir dir;
  for (const Case& c : cases) {
    const std::string section = platform::Utf8ToCp1251(c.section);
    testing_support::WriteFile(dir.path() + "export_epd.ini", "[sumtot]\n" + section);
    config::SettingsFile settings(dir.path() + "export_epd.ini");
    FieldMapping m = ResolveMapping(settings, "SUMTOT");
    EXPECT_EQ(m.column, c.column) << c.section;
    EXPECT_EQ(m.key, "SUMTOT");
  }
}

TEST(RecordTransfer, ConvertCodingFollowsTheOptionForTextsOfAnyLength) {
  const std::string text = "Цена 12,50 руб. Ёж"_cp;
  std::string long_text;
  for (int i = 0; i < 500; ++i) long_text += "Яблоко "_cp;  // 3500 characters
  State().bDOScoding = false;
  EXPECT_EQ(ConvertCoding(text), text);
  EXPECT_EQ(ConvertCoding(long_text), long_text);
  State().bDOScoding = true;
  EXPECT_EQ(ConvertCoding(text), platform::Cp1251ToCp866(text));
  EXPECT_EQ(ConvertCoding("12,50 01.02.2024"), "12,50 01.02.2024");
  std::string converted = ConvertCoding(long_text);
  ASSERT_EQ(converted.size(), long_text.size());
  EXPECT_EQ(converted.substr(3493), platform::Cp1251ToCp866("Яблоко "_cp));
  EXPECT_EQ(ConvertCoding(""), "");
  State().bDOScoding = false;
}

}  // namespace
}  // namespace epd::exporter
