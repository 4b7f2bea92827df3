// Output tables on Windows: both branches make tables the engine then fills.
#include <gtest/gtest.h>

#include <string>

#include "export/output_table.h"
#include "platform/regional.h"
#include "platform/test_support.h"
#include "platform/text.h"
#include "tables/table.h"

namespace epd::exporter {
namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

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

}  // namespace
}  // namespace epd::exporter
