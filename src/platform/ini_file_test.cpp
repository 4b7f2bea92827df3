#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/test_support.h"
#include "platform/text.h"

namespace epd::platform {
namespace {

class IniFileTest : public ::testing::Test {
 protected:
  testing_support::TempDir dir_;
  std::string path_ = dir_.path() + "export_epd.ini";
};

TEST_F(IniFileTest, ReadsSectionsAndKeysIgnoringCaseWithFirstOneWinning) {
  testing_support::WriteFile(path_,
                             "key=before any section\r\n"
                             "[EPD]\r\n"
                             "  bExportEPD = 1 \r\n"
                             "; comment=1\r\n"
                             "no equals sign here\r\n"
                             "charlength=a=b\r\n"
                             "CHARLENGTH=second\r\n"
                             "[epd]\r\n"
                             "Export_Dir=duplicate section\r\n"
                             "[IDMSG]\r\n"
                             "name=\r\n");
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("epd", "BEXPORTEPD", "x"), "1");
  EXPECT_EQ(ini.ReadString("EPD", "charlength", "x"), "a=b");
  EXPECT_EQ(ini.ReadString("EPD", "Export_Dir", "x"), "x");
  EXPECT_EQ(ini.ReadString("EPD", "key", "x"), "x");
  EXPECT_EQ(ini.ReadString("EPD", "no equals sign here", "x"), "x");
  EXPECT_EQ(ini.ReadString("IdMsg", "name", "x"), "");
  EXPECT_EQ(ini.ReadString("Missing", "name", "dflt"), "dflt");
  EXPECT_EQ(ini.ReadString("EPD", "", "no key without a name"), "no key without a name");
  EXPECT_FALSE(ini.HasKey("IDMSG", ""));
}

// Each object reads the file as it is now, even a change of the same length made in the same
// instant, and keeps what it read.
TEST_F(IniFileTest, EveryObjectReadsTheFileAsItIsNow) {
  testing_support::WriteFile(path_, "[EPD]\nbExportEPD=1\n");
  IniFile first(path_);
  testing_support::WriteFile(path_, "[EPD]\nbExportEPD=0\n");
  IniFile second(path_);
  testing_support::WriteFile(path_, "[EPD]\nbExportEPD=1\n");
  IniFile third(path_);
  EXPECT_EQ(first.ReadString("EPD", "bExportEPD", ""), "1");
  EXPECT_EQ(second.ReadString("EPD", "bExportEPD", ""), "0");
  EXPECT_EQ(third.ReadString("EPD", "bExportEPD", ""), "1");
}

TEST_F(IniFileTest, CyrillicNamesMatchIgnoringCase) {
  testing_support::WriteFile(path_, std::string("[Раздел]\nКлюч=нет\n"_cp));
  IniFile ini(path_);
  EXPECT_EQ(ini.ReadString("РАЗДЕЛ"_cp, "ключ"_cp, ""), "нет"_cp);
}

TEST_F(IniFileTest, ValuesAreCutAt2047Characters) {
  testing_support::WriteFile(path_, "[A]\nk=" + std::string(5000, 'v') + "\n");
  EXPECT_EQ(IniFile(path_).ReadString("A", "k", "").size(), 2047u);
}

TEST_F(IniFileTest, AbsentFileReadsAsDefaults) {
  EXPECT_EQ(IniFile(path_).ReadString("EPD", "bExportEPD", "0"), "0");
  EXPECT_EQ(IniFile("export_epd.ini").ReadString("EPD", "bExportEPD", "d"), "d");
}

struct WriteCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};
// Test names carry the case's name; this keeps gtest from printing its bytes as well.
void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class IniWriteTest : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyWhatItMust) {
  const WriteCase& c = GetParam();
  if (!c.before.empty()) testing_support::WriteFile(path_, c.before);
  IniFile ini(path_);
  ini.WriteString(c.section, c.key, c.value);
  EXPECT_EQ(testing_support::ReadFile(path_), c.after);
  EXPECT_EQ(ini.ReadString(c.section, c.key, "?"), c.value);
  EXPECT_EQ(IniFile(path_).ReadString(c.section, c.key, "?"), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWriteTest,
    ::testing::Values(
        WriteCase{"NewFile", "", "EPD", "bExportEPD", "1", "[EPD]\r\nbExportEPD=1\r\n"},
        WriteCase{"ReplaceKeepsSpellingAndEverythingElse",
                  "; my notes\n[Other]\nx = 1\n\n[epd]\n  BEXPORTEPD = 0 \nlavel=7\n\n[Z]\n", "EPD", "bExportEPD", "1",
                  "; my notes\n[Other]\nx = 1\n\n[epd]\n  BEXPORTEPD=1\nlavel=7\n\n[Z]\n"},
        WriteCase{"NewKeyAfterLastLineOfSection", "[EPD]\r\nlavel=7\r\n\r\n[IDMSG]\r\nname=ID\r\n", "EPD", "seller",
                  "0", "[EPD]\r\nlavel=7\r\nseller=0\r\n\r\n[IDMSG]\r\nname=ID\r\n"},
        WriteCase{"NewSectionAtEndOfFileWithoutFinalNewline", "[EPD]\nlavel=7", "IDMSG", "name", "ID",
                  "[EPD]\nlavel=7\n[IDMSG]\nname=ID\n"},
        WriteCase{"OnlyTheFirstOfDuplicateKeysChanges", "[A]\nk=1\nk=2\n", "a", "K", "3", "[A]\nk=3\nk=2\n"},
        WriteCase{"BytesOfCodePage1251PassUnchanged", "[IDMSG]\r\ntype=ftString\r\n", "IDMSG", "type", "\xED\xE5\xF2",
                  "[IDMSG]\r\ntype=\xED\xE5\xF2\r\n"},
        WriteCase{"LastLineEndingInALoneCarriageReturn", "[EPD]\nx=1\r", "EPD", "lavel", "7",
                  "[EPD]\nx=1\r\nlavel=7\n"},
        WriteCase{"EmptySectionGetsItsFirstKey", "[A]\n[B]\nk=1\n", "A", "n", "", "[A]\nn=\n[B]\nk=1\n"}),
    [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST_F(IniFileTest, LineBreaksInAValueCannotSplitTheFile) {
  IniFile ini(path_);
  ini.WriteString("EPD", "Export_Dir", "C:\\a\r\n[Injected]\nx=1");
  EXPECT_EQ(testing_support::ReadFile(path_), "[EPD]\r\nExport_Dir=C:\\a  [Injected] x=1\r\n");
}

TEST_F(IniFileTest, RefusedWriteNamesTheFileAndKeepsItIntact) {
  std::string missing_dir = dir_.path() + "NoSuchDir\\export_epd.ini";
  try {
    IniFile(missing_dir).WriteString("EPD", "lavel", "7");
    FAIL() << "write into a missing directory succeeded";
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + missing_dir);
  }
  testing_support::WriteFile(path_, "[EPD]\nlavel=5\n");
  SetFaultHook([](FileOp op, std::string_view, std::uint64_t, std::size_t) { return op == FileOp::kWrite; });
  EXPECT_THROW(IniFile(path_).WriteString("EPD", "lavel", "7"), Error);
  SetFaultHook(nullptr);
  EXPECT_EQ(testing_support::ReadFile(path_), "[EPD]\nlavel=5\n");
  EXPECT_THROW(IniFile("export_epd.ini").WriteString("EPD", "lavel", "7"), Error);
}

}  // namespace
}  // namespace epd::platform
