#include "config/field_mapping.h"

#include <gtest/gtest.h>

#include <optional>

#include "platform/codepage.h"
#include "platform/test_support.h"

namespace epd::config {
namespace {

using tables::FieldType;

// The one rule, as the transfer (column) and the builder (type, width) take it.
TEST(FieldMapping, AFieldIsExportedOnlyWithNameLengthAndAType) {
  struct Case {
    const char* section;
    const char* column;  // "" = not exported
    std::optional<FieldType> type;
    int width;
  } cases[] = {
      {"name=SUM\nlength=9\ntype=ftFloat\n", "SUM", FieldType::kFloat, 0},
      {"name=SUM\ntype=ftFloat\n", "", std::nullopt, 0},
      {"name=SUM\nlength=\ntype=ftFloat\n", "", std::nullopt, 0},
      {"length=9\ntype=ftFloat\n", "", std::nullopt, 0},
      {"name=SUM\nlength=9\n", "", std::nullopt, 0},
      {"name=SUM\nlength=9\ntype=\n", "", std::nullopt, 0},
      {"name=SUM\nlength=9\ntype=нет\n", "", std::nullopt, 0},
      {"name=SUM\nlength=0\ntype=ftCurrency\n", "SUM", std::nullopt, 0},  // exported; no column is made for it
      {"name=SUM\nlength=9\ntype=ftstring\n", "SUM", std::nullopt, 0},    // type words keep their case
      {"name=SUM\nlength=25\ntype=ftString\n", "SUM", FieldType::kString, 25},
      {"name=SUM\nlength=abc\ntype=ftString\n", "SUM", FieldType::kString, 10},
      {"name=SUM\nlength=0\ntype=ftString\n", "SUM", FieldType::kString, 10},
      {"name=SUM\nlength=-4\ntype=ftString\n", "SUM", FieldType::kString, 10},
      {"name=SUM\nlength=$1A\ntype=ftString\n", "SUM", FieldType::kString, 26},
      {"name=SUM\nlength=5\ntype=ftInteger\n", "SUM", FieldType::kInteger, 0},
      {"name=SUM\nlength=5\ntype=ftDate\n", "SUM", FieldType::kDate, 0},
      {"name=SUM\nlength=5\ntype=ftBoolean\n", "SUM", FieldType::kBoolean, 0},
  };
  testing_support::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.section);
    const std::string section = platform::Utf8ToCp1251(c.section);
    testing_support::WriteFile(dir.path() + "export_epd.ini", "[sumtot]\n" + section);
    const MappedField m = ReadMapping(SettingsFile::InDataDirectory(dir.path()), "SUMTOT");
    EXPECT_EQ(m.key, "SUMTOT");
    EXPECT_EQ(m.column, c.column);
    EXPECT_EQ(m.exported(), *c.column != 0);
    EXPECT_EQ(m.type, c.type);
    EXPECT_EQ(m.width, c.width);
  }
}

}  // namespace
}  // namespace epd::config
