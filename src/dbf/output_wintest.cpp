// Output files and the supplier code table on Windows: the writer's replace-in-one-step through
// MoveFileEx, Cyrillic folders through the wide APIs, and the engine taking what was made.
#include <gtest/gtest.h>

#include <string>

#include "dbf/dbf_writer.h"
#include "dbf/output_table.h"
#include "export/library_state.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "platform/test_support.h"
#include "platform/text.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

namespace epd::dbf {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(OutputWinTest, WriterReplacesAFileAnotherHandleHasOpen) {
  TempDir dir;
  const std::string folder = dir.path() + "Экспорт"_cp;
  platform::MakeDirectory(folder);
  const std::string path = folder + "\\Накл.dbf"_cp;
  ASSERT_TRUE(CreateDBFFile(path, 5, 0, {TDBFField{"A", 'C', 5, 0}}));
  {
    auto reader = platform::OpenFile(path, platform::FileMode::kRead);
    ASSERT_TRUE(CreateDBFFile(path, 3, 0, {TDBFField{"NOTE", 'M', 10, 0}}));
  }
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 66u);
  EXPECT_EQ(bytes[0], '\x83');
  EXPECT_EQ(ReadFile(folder + "\\Накл.DBT"_cp).substr(8, 4), "\xCD\xE0\xEA\xEB");  // "Накл" in 1251
  EXPECT_FALSE(platform::FileExists(path + ".new"));
}

TEST(OutputWinTest, BothBranchesGiveTablesTheEngineFills) {
  TempDir dir;
  platform::SetRegionalFormatOverride(platform::RegionalFormat{',', "dd.MM.yyyy"});
  for (const std::string level : {"", "[EPD]\nlavel=7\n"}) {
    WriteFile(dir.path() + "export_epd.ini", level +
                                                 "[IDMSG]\nname=IDMSG\nlength=5\ntype=ftInteger\n"
                                                 "[SENDER]\nname=SENDER\nlength=20\ntype=ftString\n");
    const std::string path = dir.path() + (level.empty() ? "writer.dbf" : "engine.dbf");
    ASSERT_TRUE(CreateOutputTable(path, kHeaderOutput, config::SettingsFile::InDataDirectory(dir.path())));
    {
      auto table = tables::Table::Open(path);
      table->Append();
      table->SetAsString("IDMSG", "77");
      table->SetAsString("SENDER", "Поставщик"_cp);
      table->Post();
    }
    auto table = tables::Table::Open(path);
    table->First();
    EXPECT_EQ(table->AsInteger("IDMSG"), 77) << level;
    EXPECT_EQ(table->AsString("SENDER"), "Поставщик"_cp) << level;
  }
  platform::SetRegionalFormatOverride(std::nullopt);
}

TEST(OutputWinTest, SubstituteCodesAreStoredAndFoundAgain) {
  TempDir dir;
  exporter::LibraryState saved = exporter::State();
  exporter::State().data_directory = dir.path();
  EXPECT_FALSE(suppliers::IsSellerListed(5, true));
  EXPECT_EQ(suppliers::GetTempCode(5, "123456789"), 873187034);
  EXPECT_EQ(suppliers::GetTempCode(5, "123456789"), 873187034);
  {
    auto table = tables::Table::Open(dir.path() + suppliers::kCodeTableFile);
    EXPECT_EQ(table->PhysicalRecordCount(), 1u);
  }
  exporter::State() = saved;
}

}  // namespace
}  // namespace epd::dbf
