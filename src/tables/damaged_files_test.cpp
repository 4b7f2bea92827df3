// Tables from the wild and damaged files: what is readable is read, the rest is a clear error
// naming the file; nothing crashes or reads outside the file.
#include <gtest/gtest.h>

#include <random>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/text.h"
#include "tables/dbf_test_util.h"
#include "tables/table.h"
#include "tables/table_walk.h"

using epd::operator""_cp;

namespace epd::tables {
namespace {

using testing::DbfBuilder;
using testing::RussianFormat;
using testing::S;
using testing::ScratchDir;
using testing::WriteBytes;

DbfBuilder TwoRows() {
  return DbfBuilder(0x03).Field("ID", 'N', 3).Field("NAME", 'C', 4).Row({"1", "one"}).Row({"2", "two"});
}

std::string SetU16(std::string b, std::size_t at, int v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
  return b;
}
std::string SetU32(std::string b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
  return b;
}

std::vector<std::string> Rows(const std::string& path) {
  auto t = Table::Open(path);
  std::vector<std::string> rows;
  for (t->First(); !t->Eof(); t->Next()) {
    std::string r;
    for (int i = 0; i < t->FieldCount(); ++i) r += (i ? "|" : "") + t->AsString(t->FieldName(i));
    rows.push_back(r);
  }
  return rows;
}

TEST(DamagedFilesTest, ReadableDamageIsRead) {
  const std::string good = TwoRows().Bytes();  // header 32 + 64 + 1 = 97, records of 8 bytes
  const std::string records = good.substr(97, 16);
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> rows;
  };
  const Case cases[] = {
      {"as written", good, {"1|one", "2|two"}},
      {"record count beyond the end of the file", SetU32(good, 4, 1000), {"1|one", "2|two"}},
      {"record count 0 with records present: the header wins", SetU32(good, 4, 0), {}},
      {"no 0x1A at the end", good.substr(0, good.size() - 1), {"1|one", "2|two"}},
      {"truncated in the middle of the second record", good.substr(0, 97 + 8 + 3), {"1|one"}},
      {"0x0D missing, header length counts the descriptors only",
       SetU16(good.substr(0, 96) + records, 8, 96),
       {"1|one", "2|two"}},
      {"bytes after 0x0D",
       SetU16(good.substr(0, 97) + std::string(263, '\0') + records, 8, 97 + 263),
       {"1|one", "2|two"}},
      {"record length longer than the fields",
       SetU16(good.substr(0, 97) + "   1one  " + "   2two  ", 10, 9),
       {"1|one", "2|two"}},
      {"record length shorter than the fields", SetU16(good.substr(0, 97) + "   1o   2t", 10, 5), {"1|o", "2|t"}},
      {"header length beyond the end of the file", SetU16(good, 8, 4000), {}},
      {"end marker where a record should be", good.substr(0, 97 + 8) + "\x1A" + "garbage", {"1|one"}},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const std::string path = dir.Path("w.dbf");
    WriteBytes(path, c.bytes);
    std::vector<std::string> rows;
    ASSERT_NO_THROW(rows = Rows(path)) << c.what;
    EXPECT_EQ(rows, c.rows) << c.what;
  }
}

TEST(DamagedFilesTest, UnreadableFilesRaiseErrorsNamingTheFile) {
  const std::string good = TwoRows().Bytes();
  struct Case {
    const char* what;
    std::string bytes;
    std::string reason;
  };
  const Case cases[] = {
      {"empty file", "", S("короче заголовка"_cp)},
      {"shorter than a header", good.substr(0, 20), S("короче заголовка"_cp)},
      {"dBASE II", std::string(1, '\x02') + good.substr(1), S("неизвестная версия"_cp)},
      {"header length inside the header", SetU16(good, 8, 16), S("длина заголовка"_cp)},
      {"level 7 cut inside its header", std::string(1, '\x04') + good.substr(1, 40), S("уровня 7"_cp)},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    const std::string path = dir.Path("bad.dbf");
    WriteBytes(path, c.bytes);
    try {
      Table::Open(path);
      ADD_FAILURE() << c.what;
    } catch (const Error& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find(path), std::string::npos) << c.what << ": " << m;
      EXPECT_NE(m.find(c.reason), std::string::npos) << c.what << ": " << m;
    }
  }
}

TEST(DamagedFilesTest, LongCharacterFieldsOfClipperAndDosCodedText) {
  RussianFormat ru;
  ScratchDir dir;
  // A 300-byte character field keeps its high byte in the decimals.
  std::string bytes = DbfBuilder(0x03).Field("MEMO", 'C', 300 & 0xFF, 300 >> 8).Bytes(0);
  bytes = SetU16(bytes, 10, 301);
  bytes.pop_back();
  bytes += " " + std::string(299, 'x') + "y" + "\x1A";
  bytes = SetU32(bytes, 4, 1);
  WriteBytes(dir.Path("long.dbf"), bytes);
  auto t = Table::Open(dir.Path("long.dbf"));
  EXPECT_EQ(t->AsString("MEMO"), std::string(299, 'x') + "y");

  // Language driver 0x26 (DOS Russian): text is 866 on disk and 1251 in the program.
  const std::string in866 = platform::Cp1251ToCp866("Ёлка"_cp);
  DbfBuilder(0x03).Language(0x26).Field("NAME", 'C', 10).Row({in866}).Write(dir.Path("dos.dbf"));
  auto dos = Table::Open(dir.Path("dos.dbf"));
  EXPECT_EQ(dos->AsString("NAME"), S("Ёлка"_cp));
  ASSERT_TRUE(dos->Locate("NAME", {S("Ёлка"_cp)}));
  dos->Append();
  dos->SetAsString("NAME", "Юг"_cp);
  dos->Post();
  dos->First();
  dos->Next();
  EXPECT_EQ(dos->AsString("NAME"), S("Юг"_cp));
  EXPECT_NE(testing::ReadBytes(dir.Path("dos.dbf")).find(platform::Cp1251ToCp866("Юг"_cp)), std::string::npos);
}

}  // namespace
}  // namespace epd::tables
