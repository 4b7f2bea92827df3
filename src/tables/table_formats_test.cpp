// Tables of the other dBASE families and their memo files.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "platform/codepage.h"
#include "platform/text.h"
#include "tables/dbf_test_util.h"
#include "tables/table.h"

using epd::operator""_cp;

namespace epd::tables {
namespace {

using testing::DbfBuilder;
using testing::RussianFormat;
using testing::S;
using testing::ScratchDir;
using testing::WriteBytes;

std::string Le(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>(v >> (8 * i));
  return s;
}
std::string Be(std::uint64_t v, int bytes) {
  std::string s;
  for (int i = bytes - 1; i >= 0; --i) s += static_cast<char>(v >> (8 * i));
  return s;
}
std::string Pad(std::string s, std::size_t n, char c = '\0') {
  s.resize(n, c);
  return s;
}

std::map<std::string, std::string> FirstRow(const std::string& path) {
  auto t = Table::Open(path);
  std::map<std::string, std::string> row;
  if (t->Eof()) return row;
  for (int i = 0; i < t->FieldCount(); ++i) row[t->FieldName(i)] = t->AsString(t->FieldName(i));
  return row;
}

TEST(TableFormatsTest, VisualFoxProBinaryFieldsMemoAndHiddenNullFlags) {
  RussianFormat ru;
  ScratchDir dir;
  double rate = 2.5;
  std::uint64_t rate_bits;
  std::memcpy(&rate_bits, &rate, 8);
  std::string record = " " + Le(static_cast<std::uint32_t>(-42), 4) + Le(1234567, 8) + Le(2460311, 4) +
                       Le(37800000, 4) + Le(rate_bits, 8) + Le(8, 4) + Pad("Name", 10, ' ') + "\x00";
  DbfBuilder(0x30)
      .Field("ID", 'I', 4)
      .Field("PRICE", 'Y', 8)
      .Field("WHEN", 'T', 8)
      .Field("RATE", 'B', 8)
      .Field("NOTE", 'M', 4)
      .Field("NAME", 'C', 10)
      .Field("_NullFlags", '0', 1, 0, 0x05)
      .ExtraHeader(std::string(263, '\0'))
      .Record(record)
      .Write(dir.Path("vfp.dbf"));
  std::string fpt = Pad(Be(9, 4) + std::string(2, '\0') + Be(64, 2), 512) + Be(1, 4) + Be(5, 4) + "memo!";
  WriteBytes(dir.Path("vfp.fpt"), fpt);
  const auto row = FirstRow(dir.Path("vfp.dbf"));
  EXPECT_EQ(row, (std::map<std::string, std::string>{{"ID", "-42"},
                                                     {"PRICE", "123,4567"},
                                                     {"WHEN", "01.01.2024 10:30:00"},
                                                     {"RATE", "2,5"},
                                                     {"NOTE", "memo!"},
                                                     {"NAME", "Name"}}));
}

TEST(TableFormatsTest, MemoFilesOfEachKind) {
  RussianFormat ru;
  struct Case {
    const char* what;
    std::uint8_t version;
    const char* memo_name;  // beside the table, empty for none
    std::string memo;
    std::string field;  // the memo field's 10 bytes
    std::string text;
  };
  const std::string text4 = S("текст IV"_cp);
  const Case cases[] = {
      {"dBASE III", 0x83, "m.dbt", Pad(Le(3, 4), 512) + "first" + "\x1A\x1A" + Pad("", 505) + "second\x1A",
       "         2", "second"},
      {"dBASE IV", 0x8B, "M.DBT",
       Pad(Le(3, 4) + Pad("", 16) + Le(512, 2), 512) + std::string("\xFF\xFF\x08\x00", 4) + Le(8 + text4.size(), 4) +
           text4,
       "         1", text4},
      {"FoxPro 2", 0xF5, "m.fpt", Pad(Be(2, 4) + std::string(2, '\0') + Be(512, 2), 512) + Be(1, 4) + Be(3, 4) + "fox",
       "         1", "fox"},
      {"memo file missing", 0x8B, "", "", "         1", ""},
      {"block beyond the memo file", 0x8B, "m.dbt", Pad(Le(2, 4) + Pad("", 16) + Le(512, 2), 512), "      9999", ""},
      {"length beyond the memo file", 0x8B, "m.dbt",
       Pad(Le(2, 4) + Pad("", 16) + Le(512, 2), 512) + std::string("\xFF\xFF\x08\x00", 4) + Le(100000, 4) + "cut",
       "         1", "cut"},
      {"blank block number", 0x83, "m.dbt", Pad(Le(1, 4), 512), "          ", ""},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    DbfBuilder(c.version).Field("ID", 'N', 2).Field("NOTE", 'M', 10).Record("  1" + c.field).Write(dir.Path("m.dbf"));
    if (*c.memo_name) WriteBytes(dir.Path(c.memo_name), c.memo);
    EXPECT_EQ(FirstRow(dir.Path("m.dbf"))["NOTE"], c.text) << c.what;
  }
}

// A memo file whose header points its next free block far beyond its end (damage): a new memo
// goes at the end of the file all the same, which stays small (found by fuzzing: the file grew
// to 2 TB, and reading it back took minutes).
TEST(TableFormatsTest, AMemoWrittenIntoADamagedMemoFileGoesAtItsEnd) {
  RussianFormat ru;
  for (std::uint32_t next : {0x7FFFFFFFu, 0xFFFFFFFFu, 5u}) {
    ScratchDir dir;
    DbfBuilder(0x8B).Field("ID", 'N', 2).Field("NOTE", 'M', 10).Write(dir.Path("m.dbf"));
    WriteBytes(dir.Path("m.dbt"), Pad(Le(next, 4) + Pad("", 16) + Le(512, 2), 512));
    auto t = Table::Open(dir.Path("m.dbf"));
    t->Append();
    t->SetAsString("ID", "1");
    t->SetAsString("NOTE", "memo text");
    t->Post();
    t->Close();
    EXPECT_EQ(testing::ReadBytes(dir.Path("m.dbt")).size(), 1024u) << next;
    EXPECT_EQ(FirstRow(dir.Path("m.dbf"))["NOTE"], "memo text") << next;
  }
}

TEST(TableFormatsTest, VersionBytesOfTheCommonFamilies) {
  RussianFormat ru;
  for (std::uint8_t version : {0x03, 0x83, 0x8B, 0x8E, 0xCB, 0x43, 0x63, 0xF5, 0x30, 0x31, 0xFB}) {
    ScratchDir dir;
    DbfBuilder b(version);
    b.Field("ID", 'N', 4).Field("NAME", 'C', 6).Field("D", 'D', 8).Field("OK", 'L', 1);
    if (version == 0x30 || version == 0x31) b.ExtraHeader(std::string(263, '\0'));
    b.Row({"17", "abc", "20240229", "Y"}).Write(dir.Path("v.dbf"));
    EXPECT_EQ(FirstRow(dir.Path("v.dbf")),
              (std::map<std::string, std::string>{{"ID", "17"}, {"NAME", "abc"}, {"D", "29.02.2024"}, {"OK", "True"}}))
        << int(version);
  }
}

TEST(TableFormatsTest, LevelSevenWithDosDriverIsReadAsWindowsText) {
  ScratchDir dir;
  const std::string name866 = platform::Cp1251ToCp866("Щука"_cp);
  DbfBuilder(0x04)
      .DriverName("DB866RU0")
      .Field("NAME", 'C', 8)
      .Field("N", 'I', 4)
      .Record(" " + Pad(name866, 8, ' ') + Be(0x80000005u, 4))
      .Write(dir.Path("l7.dbf"));
  EXPECT_EQ(FirstRow(dir.Path("l7.dbf")), (std::map<std::string, std::string>{{"NAME", S("Щука"_cp)}, {"N", "5"}}));
}

}  // namespace
}  // namespace epd::tables
