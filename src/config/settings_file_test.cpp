#include "config/settings_file.h"

#include <gtest/gtest.h>

#include "platform/test_support.h"

namespace epd::config {
namespace {

TEST(ParseIntegerTest, AcceptsDecimalAndTheThreeHexForms) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"0", 0},
      {"42", 42},
      {"-7", -7},
      {"+5", 5},
      {"300", 300},
      {"$1F", 31},
      {"0x1f", 31},
      {"0X1F", 31},
      {"-$10", -16},
      {"$FFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"", std::nullopt},
      {"abc", std::nullopt},
      {"12a", std::nullopt},
      {"1.5", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"-", std::nullopt},
      {"$100000000", std::nullopt},
      {" 5", std::nullopt},
      {"x1F", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseInteger(c.text), c.value) << c.text;
}

TEST(SettingsFileTest, EachReaderGetsItsOwnDefaultForAbsentOrBadValues) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir.path() + "export_epd.ini",
                             "[EPD]\nbExportEPD=2\nseller=-1\nmanyfiles=yes\nsinglefile=\nbDOScoding=0\nlavel=$7\n");
  SettingsFile s = SettingsFile::InDataDirectory(dir.path());
  EXPECT_TRUE(s.ReadBool("EPD", "bExportEPD", false));
  EXPECT_TRUE(s.ReadBool("EPD", "seller", false));
  EXPECT_FALSE(s.ReadBool("EPD", "manyfiles", false));
  EXPECT_TRUE(s.ReadBool("EPD", "manyfiles", true));
  EXPECT_TRUE(s.ReadBool("EPD", "singlefile", true));
  EXPECT_FALSE(s.ReadBool("EPD", "bDOScoding", true));
  EXPECT_TRUE(s.ReadBool("EPD", "missing", true));
  EXPECT_EQ(s.ReadInteger("EPD", "lavel", 5), 7);
  EXPECT_EQ(s.ReadInteger("Settings", "level", 5), 5);
}

TEST(SettingsFileTest, WritesBooleansAsDigitsAndCopiesTheSwitch) {
  testing_support::TempDir dir;
  SettingsFile s = SettingsFile::InDataDirectory(dir.path());
  s.WriteBool("EPD", "bExportEPD", true);
  s.WriteBool("EPD", "seller", false);
  WriteExportSwitchCopy(dir.path(), true);
  EXPECT_EQ(testing_support::ReadFile(dir.path() + "export_epd.ini"), "[EPD]\r\nbExportEPD=1\r\nseller=0\r\n");
  EXPECT_EQ(testing_support::ReadFile(dir.path() + "export.ini"), "[EPD]\r\nbExportEPD=1\r\n");
}

}  // namespace
}  // namespace epd::config
