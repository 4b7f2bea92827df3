// Output tables, filled through the engine, read by programs that are not ours: GDAL's ogrinfo,
// Python's dbfread and Free Pascal's TDbf (the one of them that reads level 7, which the engine
// branch makes). Where a reader is missing the test is skipped, unless EPD_REQUIRE_FOREIGN=1
// (the foreign-reader stage of the test command) makes that a failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "export/output_table.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "platform/test_support.h"
#include "platform/text.h"
#include "tables/table.h"

namespace epd::exporter {
namespace {

bool ForeignRequired() {
  const char* v = std::getenv("EPD_REQUIRE_FOREIGN");
  return v != nullptr && std::string(v) == "1";
}

bool Available(const std::string& probe) { return std::system((probe + " >/dev/null 2>&1").c_str()) == 0; }

// Runs a shell command and returns what it printed, with its exit status.
std::string RunCommand(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return out;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  *status = ::pclose(pipe);
  return out;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

const char kDbfRead[] = "/usr/bin/python3";
const char kDbfReadScript[] =
    "import sys, dbfread\n"
    "t = dbfread.DBF(sys.argv[1], encoding='cp1251', char_decode_errors='strict')\n"
    "print(' '.join('%s:%s:%d:%d' % (f.name, f.type, f.length, f.decimal_count) for f in t.fields))\n"
    "for r in t:\n"
    "    print('|'.join(repr(v) for v in r.values()))\n";

class OutputForeignBase {
 protected:
  OutputForeignBase() { platform::SetRegionalFormatOverride(platform::RegionalFormat{',', "dd.MM.yyyy"}); }
  ~OutputForeignBase() { platform::SetRegionalFormatOverride(std::nullopt); }

  // A header table of the five column types with two records, made the way an export makes it
  // under the level keys `levels`.
  std::string MakeFilledTable(const std::string& levels) {
    testing_support::WriteFile(dir_.path() + "export_epd.ini", levels +
                                                                   "[IDMSG]\nname=IDMSG\nlength=5\ntype=ftInteger\n"
                                                                   "[SENDER]\nname=SENDER\nlength=20\ntype=ftString\n"
                                                                   "[SUMTOT]\nname=SUMTOT\nlength=5\ntype=ftFloat\n"
                                                                   "[INVDT]\nname=INVDT\nlength=5\ntype=ftDate\n"
                                                                   "[BRECQ]\nname=FLAG\nlength=5\ntype=ftBoolean\n");
    const std::string path = dir_.path() + "Накладные.dbf"_cp;
    config::SettingsFile settings = config::SettingsFile::InDataDirectory(dir_.path());
    EXPECT_TRUE(CreateOutputTable(path, kHeaderOutput, settings));
    const char* rows[][5] = {{"1001", "Аптека №1", "12,5", "14.01.2002", "True"}, {"-7", "", "", "", ""}};
    auto table = tables::Table::Open(path);
    for (const auto& row : rows) {
      table->Append();
      const char* columns[] = {"IDMSG", "SENDER", "SUMTOT", "INVDT", "FLAG"};
      for (int i = 0; i < 5; ++i) table->SetAsString(columns[i], platform::Utf8ToCp1251(row[i]));
      table->Post();
    }
    table->Close();
    return platform::SystemPath(path);
  }

  // Builds the TDbf reader from its source into the test's directory; empty when fpc is missing.
  std::string BuildTDbfDump() {
    if (!Available("fpc -iV")) return "";
    const std::string out = platform::SystemPath(dir_.path());
    int status = 0;
    const std::string log = RunCommand("fpc -O1 -FU" + Quoted(out) + " -o" + Quoted(out + "/tdbf_dump") + " " +
                                           Quoted(std::string(EPD_SOURCE_DIR) + "/scripts/foreign/tdbf_dump.pas"),
                                       &status);
    EXPECT_EQ(status, 0) << log;
    return status == 0 ? out + "/tdbf_dump" : "";
  }

  // What TDbf reads from the table, in UTF-8.
  std::string ReadWithTDbf(const std::string& dump, const std::string& path) {
    int status = 0;
    const std::string out = RunCommand(Quoted(dump) + " " + Quoted(path), &status);
    EXPECT_EQ(status, 0) << out;
    return platform::Cp1251ToUtf8(out);
  }

  testing_support::TempDir dir_;
};

#define REQUIRE_OR_SKIP(available, what)                                                             \
  do {                                                                                               \
    if (!(available)) {                                                                              \
      if (ForeignRequired()) FAIL() << (what) << " is required (EPD_REQUIRE_FOREIGN=1) but missing"; \
      GTEST_SKIP() << (what) << " is not installed";                                                 \
    }                                                                                                \
  } while (false)

// The writer's three file versions (Settings/level 3, 4, 5).
class OutputForeignTest : public OutputForeignBase, public ::testing::TestWithParam<std::string> {};

TEST_P(OutputForeignTest, DbfReadSeesColumnsAndRecords) {
  REQUIRE_OR_SKIP(Available(std::string(kDbfRead) + " -c 'import dbfread'"), "python3-dbfread");
  const std::string path = MakeFilledTable(GetParam());
  int status = 0;
  const std::string script = dir_.path() + "read.py";
  testing_support::WriteFile(script, kDbfReadScript);
  const std::string out =
      RunCommand(std::string(kDbfRead) + " " + Quoted(platform::SystemPath(script)) + " " + Quoted(path), &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(out,
            "IDMSG:N:11:0 FLAG:L:1:0 SUMTOT:N:9:2 INVDT:D:8:0 SENDER:C:20:0\n"
            "1001|True|12.5|datetime.date(2002, 1, 14)|'Аптека №1'\n"
            "-7|None|None|None|''\n");
}

TEST_P(OutputForeignTest, OgrInfoSeesColumnsAndRecords) {
  REQUIRE_OR_SKIP(Available("ogrinfo --version"), "gdal-bin (ogrinfo)");
  const std::string path = MakeFilledTable(GetParam());
  int status = 0;
  const std::string out = RunCommand("ogrinfo -ro -al --config SHAPE_ENCODING CP1251 " + Quoted(path), &status);
  ASSERT_EQ(status, 0) << out;
  for (const char* expected :
       {"Feature Count: 2", "IDMSG: Integer64 (11.0)", "SENDER: String (20.0)", "SUMTOT: Real (9.2)",
        "INVDT: Date (10.0)", "IDMSG (Integer64) = 1001", "SENDER (String) = Аптека №1", "SUMTOT (Real) = 12.5",
        "INVDT (Date) = 2002/01/14", "FLAG (String) = T", "IDMSG (Integer64) = -7"})
    EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
}

TEST_P(OutputForeignTest, TDbfSeesColumnsAndRecords) {
  const std::string dump = BuildTDbfDump();
  REQUIRE_OR_SKIP(!dump.empty(), "fp-compiler and fp-units-db (TDbf)");
  const std::string path = MakeFilledTable(GetParam());
  const std::string level = GetParam() == "[Settings]\nlevel=3\n" ? "3" : "4";
  // TFieldType ordinals: 1 string, 3 integer, 5 boolean, 6 float, 9 date, 25 large integer (N 11).
  EXPECT_EQ(ReadWithTDbf(dump, path), "level " + level +
                                          " IDMSG:25:0 FLAG:5:0 SUMTOT:6:0 INVDT:9:0 SENDER:1:20\n"
                                          "1001|True|12.5|2002-01-14|Аптека №1\n"
                                          "-7|<null>|<null>|<null>|<null>\n");
}

INSTANTIATE_TEST_SUITE_P(WriterVersions, OutputForeignTest,
                         ::testing::Values("[Settings]\nlevel=3\n", "[Settings]\nlevel=4\n", "[Settings]\nlevel=5\n"));

// At level 7 the engine creates the table; of the foreign readers only TDbf reads that level.
class OutputForeignEngineTest : public OutputForeignBase, public ::testing::Test {};

TEST_F(OutputForeignEngineTest, TDbfReadsTheEngineBranchTable) {
  const std::string dump = BuildTDbfDump();
  REQUIRE_OR_SKIP(!dump.empty(), "fp-compiler and fp-units-db (TDbf)");
  const std::string path = MakeFilledTable("[EPD]\nlavel=7\n");
  EXPECT_EQ(ReadWithTDbf(dump, path),
            "level 7 IDMSG:3:0 FLAG:5:0 SUMTOT:6:0 INVDT:9:0 SENDER:1:20\n"
            "1001|True|12.5|2002-01-14|Аптека №1\n"
            "-7|<null>|<null>|<null>|<null>\n");
}

}  // namespace
}  // namespace epd::exporter
