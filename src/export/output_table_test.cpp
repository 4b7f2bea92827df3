#include "export/output_table.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/regional.h"
#include "platform/test_support.h"
#include "platform/text.h"
#include "tables/table.h"

namespace epd::exporter {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// The columns of a table file as "NAME C 25.0", read straight from its descriptors.
std::vector<std::string> Descriptors(const std::string& path) {
  const std::string bytes = ReadFile(path);
  std::vector<std::string> out;
  for (std::size_t at = 32; at + 32 <= bytes.size() && bytes[at] != '\x0D'; at += 32) {
    std::string name = bytes.substr(at, 11);
    name.resize(name.find('\0') == std::string::npos ? 11 : name.find('\0'));
    out.push_back(name + " " + bytes[at + 11] + " " + std::to_string(static_cast<unsigned char>(bytes[at + 16])) + "." +
                  std::to_string(static_cast<unsigned char>(bytes[at + 17])));
  }
  return out;
}

// One mapping section in the form the editors write.
std::string Section(const std::string& key, const std::string& name, const std::string& length,
                    const std::string& type) {
  return "[" + key + "]\nname=" + name + "\nlength=" + length + "\ntype=" + type + "\n";
}

class OutputTableTest : public ::testing::Test {
 protected:
  config::SettingsFile Settings(const std::string& content) {
    WriteFile(dir_.path() + "export_epd.ini", content);
    return config::SettingsFile::InDataDirectory(dir_.path());
  }
  std::string Path(const std::string& name = "out.dbf") const { return dir_.path() + name; }
  TempDir dir_;
};

TEST_F(OutputTableTest, MappingsBecomeColumns) {
  struct Case {
    const char* what;
    int kind;
    std::string ini;
    std::vector<std::string> columns;
  } cases[] = {
      {"the five types",
       1,
       Section("IDMSG", "ID", "5", "ftInteger") + Section("MSGNUM", "MN", "7", "ftFloat") +
           Section("MSGD", "MD", "1", "ftDate") + Section("MSGT", "MT", "25", "ftString") +
           Section("BRECQ", "BQ", "0", "ftBoolean"),
       {"ID N 11.0", "MN N 9.2", "BQ L 1.0", "MD D 8.0", "MT C 25.0"}},
      {"length no number or no width gives width 10, hex is a number, the file keeps 8 bits",
       1,
       Section("MSGT", "A", "abc", "ftString") + Section("DEMT", "B", "$1F", "ftString") +
           Section("DLVT", "C", "300", "ftString") + Section("OBTNAM", "D", "0", "ftString") +
           Section("CMCOD", "E", "-5", "ftString"),
       {"A C 10.0", "B C 31.0", "D C 10.0", "E C 10.0", "C C 44.0"}},
      {"fields left out",
       1,
       "[IDMSG]\nname=NOLEN\ntype=ftInteger\n" + Section("MSGNUM", "", "5", "ftInteger") +
           Section("BRECQ", "EMPTYLEN", "", "ftInteger") + Section("MSGD", "CASE", "5", "ftstring") +
           Section("MSGT", "CURR", "5", "ftCurrency") + Section("DEMCHN", "NONE", "5", "нет"_cp) +
           Section("DEMD", "NOTYPE", "5", "") + Section("DEMT", "KEPT", "5", "ftString"),
       {"KEPT C 5.0"}},
      {"names equal ignoring case: the lower position wins",
       1,
       Section("IDMSG", "Code", "5", "ftInteger") + Section("MSGNUM", "CODE", "9", "ftString"),
       {"Code N 11.0"}},
      {"header kind holds no line field",
       1,
       Section("IDMSG", "ID", "5", "ftInteger") + Section("ITEMID", "ITEM", "40", "ftString"),
       {"ID N 11.0"}},
      {"line kind: shared sections first, then catalogue order",
       2,
       Section("ALTCOD", "ALT", "5", "ftString") + Section("IDMSG", "ID", "5", "ftInteger") +
           Section("ITEMID", "ITEM", "40", "ftString") + Section("INVNUM", "INV", "5", "ftInteger"),
       {"ID N 11.0", "ITEM C 40.0", "ALT C 5.0"}},
      {"combined kind holds IDMSG and MSGNUM once, in the header's places",
       3,
       Section("IDMSG", "ID", "5", "ftInteger") + Section("MSGNUM", "MN", "5", "ftInteger") +
           Section("INVNUM", "INV", "5", "ftInteger") + Section("ITEMID", "ITEM", "40", "ftString"),
       {"ID N 11.0", "MN N 11.0", "INV N 11.0", "ITEM C 40.0"}},
      {"names the file would cut alike keep the first",
       1,
       Section("IDMSG", "LONGNAME_01", "5", "ftInteger") + Section("MSGNUM", "longname_02", "5", "ftInteger"),
       {"LONGNAME_0 N 11.0"}},
  };
  for (const Case& c : cases) {
    config::SettingsFile settings = Settings(c.ini);
    ASSERT_TRUE(CreateOutputTable(Path(), c.kind, settings)) << c.what;
    EXPECT_EQ(Descriptors(Path()), c.columns) << c.what;
  }
}

TEST_F(OutputTableTest, AddOutputFieldSkipsWhatItCannotAdd) {
  config::SettingsFile settings =
      Settings(Section("IDMSG", "ID", "5", "ftInteger") + Section("MSGNUM", "id", "5", "ftString"));
  tables::FieldDefs defs;
  AddOutputField(settings, 0, defs);
  AddOutputField(settings, 1, defs);
  AddOutputField(settings, 36, defs);
  AddOutputField(settings, -1, defs);
  AddOutputField(settings, 73, defs);
  ASSERT_EQ(defs.size(), 1u);
  EXPECT_EQ(defs[0].name, "ID");
  EXPECT_EQ(defs[0].type, tables::FieldType::kInteger);
  EXPECT_EQ(defs[0].size, 0);
  EXPECT_EQ(defs[0].precision, 0);
  EXPECT_FALSE(defs[0].required);
}

TEST_F(OutputTableTest, LevelKeysChooseTheBranchAndTheWriterVersion) {
  struct Case {
    std::string ini;
    bool created;
    char version_byte;
  } cases[] = {
      {"", true, '\x8B'},
      {"[EPD]\nlavel=4\n", true, '\x8B'},
      {"[EPD]\nlavel=6\n", true, '\x8B'},
      {"[EPD]\nlavel=abc\n[Settings]\nlevel=4\n", true, '\x03'},
      {"[EPD]\nlavel=5\n[Settings]\nlevel=3\n", true, '\x83'},
      {"[EPD]\nlavel=4\n[Settings]\nlevel=7\n", false, 0},
      {"[Settings]\nlevel=6\n", false, 0},
      {"[EPD]\nlavel=7\n", true, '\x04'},  // the engine's level 7
      {"[EPD]\nlavel=0x7\n[Settings]\nlevel=3\n", true, '\x04'},
  };
  for (const Case& c : cases) {
    if (platform::FileExists(Path())) platform::RemoveFile(Path());
    config::SettingsFile settings = Settings(c.ini + Section("IDMSG", "ID", "5", "ftInteger"));
    EXPECT_EQ(CreateOutputTable(Path(), kHeaderOutput, settings), c.created) << c.ini;
    EXPECT_EQ(platform::FileExists(Path()), c.created) << c.ini;
    if (c.created) {
      EXPECT_EQ(ReadFile(Path())[0], c.version_byte) << c.ini;
    }
  }
}

TEST_F(OutputTableTest, NothingMappedGivesATableWithoutColumns) {
  config::SettingsFile settings = Settings("");
  ASSERT_TRUE(CreateOutputTable(Path(), kCombinedOutput, settings));
  EXPECT_EQ(ReadFile(Path()).size(), 34u);
}

TEST_F(OutputTableTest, UnknownKindOrUnwritablePlaceGivesFalse) {
  config::SettingsFile settings = Settings(Section("IDMSG", "ID", "5", "ftInteger"));
  EXPECT_FALSE(CreateOutputTable(Path(), 0, settings));
  EXPECT_FALSE(CreateOutputTable(Path(), 4, settings));
  EXPECT_FALSE(platform::FileExists(Path()));
  EXPECT_FALSE(CreateOutputTable(dir_.path() + "missing\\out.dbf", kHeaderOutput, settings));
  config::SettingsFile engine = Settings("[EPD]\nlavel=7\n" + Section("IDMSG", "ID", "5", "ftInteger"));
  EXPECT_FALSE(CreateOutputTable(dir_.path() + "missing\\out.dbf", kHeaderOutput, engine));
}

TEST_F(OutputTableTest, TheOverloadWithoutSettingsReadsTheDataDirectory) {
  Settings(Section("IDMSG", "ID", "5", "ftInteger"));
  EXPECT_TRUE(CreateOutputTable(Path(), kHeaderOutput, dir_.path()));
  EXPECT_EQ(Descriptors(Path()), std::vector<std::string>{"ID N 11.0"});
}

// A creation that fails keeps its reason: the level no writer takes, the folder that is not
// there, what the system said when the place refused the file.
TEST_F(OutputTableTest, AFailedCreationSaysWhy) {
  struct Case {
    const char* what;
    std::string ini;
    std::string path;
    bool refuse;  // the system refuses every new file below the directory
    std::vector<std::string> cause_has;
  } cases[] = {
      {"a writer version the writer does not take",
       "[EPD]\nlavel=4\n[Settings]\nlevel=7\n",
       Path(),
       false,
       {"Settings/level", "7"}},
      {"the writer into a folder that is not there",
       "",
       dir_.path() + "missing\\out.dbf",
       false,
       {dir_.path() + "missing"}},
      {"the engine into a folder that is not there",
       "[EPD]\nlavel=7\n",
       dir_.path() + "missing\\out.dbf",
       false,
       {"out.dbf"}},
      {"the writer refused by the system", "", Path(), true, {"out.dbf"}},
      {"the engine refused by the system", "[EPD]\nlavel=7\n", Path(), true, {"out.dbf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    config::SettingsFile settings = Settings(c.ini + Section("IDMSG", "ID", "5", "ftInteger"));
    if (c.refuse)
      platform::SetFaultHook([](platform::FileOp op, std::string_view, std::uint64_t, std::size_t) {
        return op == platform::FileOp::kCreate;
      });
    const OutputCreation made = MakeOutputTable(c.path, kHeaderOutput, settings);
    platform::SetFaultHook(nullptr);
    EXPECT_FALSE(made.created);
    for (const std::string& part : c.cause_has) EXPECT_NE(made.cause.find(part), std::string::npos) << made.cause;
    EXPECT_FALSE(platform::FileExists(c.path));
    EXPECT_FALSE(platform::FileExists(c.path + ".new"));
  }
  const OutputCreation made =
      MakeOutputTable(Path(), kHeaderOutput, Settings(Section("IDMSG", "ID", "5", "ftInteger")));
  EXPECT_TRUE(made.created);
  EXPECT_EQ(made.cause, "");
}

// The tables made by either branch are opened by the engine and take records. The text column
// mapped with the editors' length "0" gets width 10.
TEST_F(OutputTableTest, BothBranchesGiveTablesTheEngineFills) {
  platform::SetRegionalFormatOverride(platform::RegionalFormat{',', "dd.MM.yyyy"});
  const std::string mapping = Section("IDMSG", "IDMSG", "5", "ftInteger") +
                              Section("SENDER", "SENDER", "0", "ftString") +
                              Section("SUMTOT", "SUMTOT", "5", "ftFloat") + Section("INVDT", "INVDT", "5", "ftDate") +
                              Section("BRECQ", "FLAG", "5", "ftBoolean");
  for (const std::string level : {"", "[EPD]\nlavel=7\n"}) {
    const std::string path = Path(level.empty() ? "writer.dbf" : "engine.dbf");
    config::SettingsFile settings = Settings(level + mapping);
    ASSERT_TRUE(CreateOutputTable(path, kHeaderOutput, settings)) << level;
    for (int i = 1; i <= 2; ++i) {
      auto table = tables::Table::Open(path);
      table->Append();
      table->SetAsString("IDMSG", std::to_string(1000 + i));
      table->SetAsString("SENDER", "Аптека №"_cp + std::to_string(i) + "-bis");
      table->SetAsString("SUMTOT", "12,5");
      table->SetAsString("INVDT", "14.01.2002");
      table->SetAsString("FLAG", "True");
      table->Post();
    }
    auto table = tables::Table::Open(path);
    EXPECT_EQ(table->FieldCount(), 5) << level;
    table->First();
    EXPECT_EQ(table->AsInteger("IDMSG"), 1001) << level;
    table->Next();
    ASSERT_FALSE(table->Eof()) << level;
    EXPECT_EQ(table->AsInteger("idmsg"), 1002) << level;
    EXPECT_EQ(table->AsString("SENDER"), "Аптека №2-"_cp) << level;
    EXPECT_EQ(table->AsString("SUMTOT"), "12,5") << level;
    EXPECT_EQ(table->AsString("INVDT"), "14.01.2002") << level;
    EXPECT_TRUE(table->AsBoolean("FLAG")) << level;
    table->Next();
    EXPECT_TRUE(table->Eof()) << level;
  }
  platform::SetRegionalFormatOverride(std::nullopt);
}

}  // namespace
}  // namespace epd::exporter
