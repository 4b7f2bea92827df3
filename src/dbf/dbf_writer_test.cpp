#include "dbf/dbf_writer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "platform/files.h"
#include "platform/test_support.h"

namespace epd::dbf {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// Expected bytes, written out: "8B 66 01 0E" are hex bytes, "00*17" is a byte repeated, and
// 'NAME' is text.
std::string Bytes(const std::string& layout) {
  std::istringstream in(layout);
  std::string token, out;
  while (in >> token) {
    if (token.front() == '\'') {
      out += token.substr(1, token.size() - 2);
      continue;
    }
    std::size_t star = token.find('*');
    int count = star == std::string::npos ? 1 : std::stoi(token.substr(star + 1));
    char byte = static_cast<char>(std::stoi(token.substr(0, star), nullptr, 16));
    out.append(static_cast<std::size_t>(count), byte);
  }
  return out;
}

TDBFField Field(std::string name, char type, std::uint8_t length, std::uint8_t decimals = 0) {
  return TDBFField{std::move(name), type, length, decimals};
}

TEST(CreateDBFFileTest, EmptyListGivesThe34ByteTable) {
  TempDir dir;
  const std::string path = dir.path() + "empty.dbf";
  ASSERT_TRUE(CreateDBFFile(path, 5, 0, {}));
  EXPECT_EQ(ReadFile(path), Bytes("8B 66 01 0E 00*4 21 00 01 00 00*17 00 00 00 0D 1A"));
}

TEST(CreateDBFFileTest, OneCharacterField) {
  TempDir dir;
  const std::string path = dir.path() + "one.dbf";
  ASSERT_TRUE(CreateDBFFile(path, 4, 0x57, {Field("CODE", 'C', 10, 3)}));
  EXPECT_EQ(ReadFile(path), Bytes("03 66 01 0E 00*4 41 00 0B 00 00*17 57 00 00 "
                                  "'CODE' 00*7 'C' 00*4 0A 00 00*14 "
                                  "0D 1A"));
}

TEST(CreateDBFFileTest, NamesAreCutToTenBytesKeptAsTypedAndLoseTheByteB6) {
  TempDir dir;
  const std::string path = dir.path() + "names.dbf";
  ASSERT_TRUE(CreateDBFFile(path, 5, 0,
                            {Field("ABCDEFGHIJKL", 'C', 1), Field("Exactly10c", 'L', 1), Field("x\xB6y", 'N', 5, 2)}));
  EXPECT_EQ(ReadFile(path), Bytes("8B 66 01 0E 00*4 81 00 08 00 00*17 00 00 00 "
                                  "'ABCDEFGHIJ' 00 'C' 00*4 01 00 00*14 "
                                  "'Exactly10c' 00 'L' 00*4 01 00 00*14 "
                                  "'x' 00 'y' 00*8 'N' 00*4 05 02 00*14 "
                                  "0D 1A"));
}

TEST(CreateDBFFileTest, DateAndMemoWidthsAreFixedAndVersion3IgnoresTheLanguageByte) {
  TempDir dir;
  const std::string path = dir.path() + "widths.dbf";
  ASSERT_TRUE(CreateDBFFile(path, 3, 0xC9, {Field("D", 'D', 0, 4), Field("M", 'M', 200), Field("F", 'F', 12, 3)}));
  // Record length 1 + 8 + 10 + 12 = 31; decimals only for N and F.
  EXPECT_EQ(ReadFile(path), Bytes("83 66 01 0E 00*4 81 00 1F 00 00*17 00 00 00 "
                                  "'D' 00*10 'D' 00*4 08 00 00*14 "
                                  "'M' 00*10 'M' 00*4 0A 00 00*14 "
                                  "'F' 00*10 'F' 00*4 0C 03 00*14 "
                                  "0D 1A"));
  EXPECT_EQ(ReadFile(dir.path() + "widths.DBT").size(), 1024u);
}

TEST(CreateDBFFileTest, TenFieldsGiveHeaderLength353) {
  TempDir dir;
  const std::string path = dir.path() + "ten.dbf";
  TDBFFieldDefs fields;
  for (int i = 0; i < 10; ++i) fields.push_back(Field("F" + std::to_string(i), 'C', 20));
  ASSERT_TRUE(CreateDBFFile(path, 5, 0, fields));
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 354u);
  EXPECT_EQ(bytes.substr(8, 4), Bytes("61 01 C9 00"));  // 353, and 1 + 10 * 20 = 201
  EXPECT_EQ(bytes.substr(352), Bytes("0D 1A"));
}

TEST(CreateDBFFileTest, Version4WithMemoKeepsByte03AndWritesTheMemoFile) {
  TempDir dir;
  ASSERT_TRUE(CreateDBFFile(dir.path() + "t.dbf", 4, 0, {Field("NOTE", 'M', 0)}));
  EXPECT_EQ(ReadFile(dir.path() + "t.dbf")[0], '\x03');
  EXPECT_EQ(ReadFile(dir.path() + "t.DBT"), Bytes("01 00 00 00 00*4 't' 00*7 00 00 02 01 00 04 00*1002"));
}

TEST(CreateDBTFileTest, NameFieldAndFileNameFollowTheTable) {
  TempDir dir;
  platform::MakeDirectory(dir.path() + "a.b");
  struct Case {
    std::string table, memo, name_field;
  } cases[] = {
      {"LongTableName.dbf", "LongTableName.DBT", "'LongTabl'"},
      {"a.b\\noext", "a.b\\noext.DBT", "'noext' 00 00 00"},
      {"two.dots.dbf", "two.dots.DBT", "'two.dots'"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(CreateDBTFile(dir.path() + c.table)) << c.table;
    EXPECT_EQ(ReadFile(dir.path() + c.memo).substr(8, 8), Bytes(c.name_field)) << c.table;
  }
}

TEST(CreateDBFFileTest, RefusedListsAndVersionsLeaveTheDiskAlone) {
  TempDir dir;
  const std::string path = dir.path() + "keep.dbf";
  WriteFile(path, "old");
  TDBFFieldDefs too_many(2100, Field("C", 'C', 1));
  TDBFFieldDefs too_wide(300, Field("C", 'C', 255));
  struct Case {
    const char* what;
    int version;
    TDBFFieldDefs fields;
  } cases[] = {
      {"version 6", 6, {}},
      {"version 2", 2, {}},
      {"empty entry", 5, {Field("A", 'C', 1), TDBFField{}}},
      {"unknown letter", 5, {Field("A", 'I', 4)}},
      {"header longer than 16 bits", 5, too_many},
      {"record longer than 16 bits", 5, too_wide},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(CreateDBFFile(path, c.version, 0, c.fields)) << c.what;
    EXPECT_EQ(ReadFile(path), "old") << c.what;
    EXPECT_FALSE(CreateDBFFile(dir.path() + "new.dbf", c.version, 0, c.fields)) << c.what;
    EXPECT_FALSE(platform::FileExists(dir.path() + "new.dbf")) << c.what;
  }
}

TEST(CreateDBFFileTest, ReplacesALongerExistingFile) {
  TempDir dir;
  const std::string path = dir.path() + "t.dbf";
  WriteFile(path, std::string(5000, 'x'));
  ASSERT_TRUE(CreateDBFFile(path, 5, 0, {}));
  EXPECT_EQ(ReadFile(path).size(), 34u);
}

class WriterFaultTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetFaultHook(nullptr); }
  void FailOn(platform::FileOp failing, std::string suffix) {
    platform::SetFaultHook([=](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
      return op == failing && path.ends_with(suffix);
    });
  }
  TempDir dir_;
};

TEST_F(WriterFaultTest, AFailedStepGivesFalseAndNoTableFile) {
  const std::string path = dir_.path() + "t.dbf";
  for (platform::FileOp op : {platform::FileOp::kCreate, platform::FileOp::kWrite, platform::FileOp::kRename}) {
    FailOn(op, "");
    EXPECT_FALSE(CreateDBFFile(path, 5, 0, {Field("A", 'C', 1)})) << static_cast<int>(op);
    platform::SetFaultHook(nullptr);
    EXPECT_FALSE(platform::FileExists(path)) << static_cast<int>(op);
    EXPECT_FALSE(platform::FileExists(path + ".new")) << static_cast<int>(op);
  }
}

TEST_F(WriterFaultTest, AFailedWriteKeepsTheFileThatWasThere) {
  const std::string path = dir_.path() + "t.dbf";
  ASSERT_TRUE(CreateDBFFile(path, 5, 0, {Field("A", 'C', 1)}));
  const std::string before = ReadFile(path);
  FailOn(platform::FileOp::kWrite, "");
  EXPECT_FALSE(CreateDBFFile(path, 5, 0, {}));
  platform::SetFaultHook(nullptr);
  EXPECT_EQ(ReadFile(path), before);
}

TEST_F(WriterFaultTest, AFileThatCannotBeReplacedIsOverwrittenInPlace) {
  const std::string path = dir_.path() + "t.dbf";
  WriteFile(path, std::string(500, 'x'));
  FailOn(platform::FileOp::kRename, "");
  EXPECT_TRUE(CreateDBFFile(path, 5, 0, {}));
  platform::SetFaultHook(nullptr);
  EXPECT_EQ(ReadFile(path), Bytes("8B 66 01 0E 00*4 21 00 01 00 00*17 00 00 00 0D 1A"));
  EXPECT_FALSE(platform::FileExists(path + ".new"));
}

TEST_F(WriterFaultTest, AMemoFileThatCannotBeWrittenGivesFalseAndKeepsTheTable) {
  FailOn(platform::FileOp::kWrite, ".DBT.new");
  EXPECT_FALSE(CreateDBFFile(dir_.path() + "t.dbf", 5, 0, {Field("N", 'M', 10)}));
  platform::SetFaultHook(nullptr);
  EXPECT_EQ(ReadFile(dir_.path() + "t.dbf").size(), 66u);
  EXPECT_FALSE(platform::FileExists(dir_.path() + "t.DBT"));
}

TEST(FieldDefsToDBFFieldsTest, ConvertsEveryType) {
  using tables::FieldType;
  struct Case {
    FieldType type;
    int size, precision;
    TDBFField expected;
  } cases[] = {
      {FieldType::kString, 25, 0, Field("NAME", 'C', 25)},
      {FieldType::kString, 300, 0, Field("NAME", 'C', 44)},
      {FieldType::kFixedChar, 3, 0, Field("NAME", 'C', 3)},
      {FieldType::kWideString, 7, 0, Field("NAME", 'C', 7)},
      {FieldType::kSmallint, 0, 0, Field("NAME", 'N', 4)},
      {FieldType::kInteger, 0, 0, Field("NAME", 'N', 11)},
      {FieldType::kWord, 0, 0, Field("NAME", 'N', 11)},
      {FieldType::kBoolean, 0, 0, Field("NAME", 'L', 1)},
      {FieldType::kFloat, 0, 0, Field("NAME", 'N', 9, 2)},
      {FieldType::kFloat, 10, 0, Field("NAME", 'N', 12, 2)},
      {FieldType::kFloat, 10, 3, Field("NAME", 'N', 10, 3)},
      {FieldType::kBCD, 0, 4, Field("NAME", 'N', 7, 4)},
      {FieldType::kCurrency, 0, 0, Field("NAME", 'F', 15, 4)},
      {FieldType::kCurrency, 12, 2, Field("NAME", 'F', 12, 2)},
      {FieldType::kDate, 0, 0, Field("NAME", 'D', 8)},
      {FieldType::kTime, 0, 0, Field("NAME", 'C', 8)},
      {FieldType::kMemo, 0, 0, Field("NAME", 'M', 10)},
      {FieldType::kBlob, 5, 1, TDBFField{}},
      {FieldType::kAutoInc, 0, 0, TDBFField{}},
      {FieldType::kDateTime, 0, 0, TDBFField{}},
  };
  for (const Case& c : cases) {
    tables::FieldDefs defs;
    defs.Add("NAME", c.type, c.size, false, c.precision);
    TDBFFieldDefs fields(3);
    FieldDefsToDBFFields(defs, fields);
    ASSERT_EQ(fields.size(), 1u);
    EXPECT_EQ(fields[0].Name, c.expected.Name) << static_cast<int>(c.type) << " " << c.size;
    EXPECT_EQ(fields[0].FieldType, c.expected.FieldType) << static_cast<int>(c.type) << " " << c.size;
    EXPECT_EQ(fields[0].Length, c.expected.Length) << static_cast<int>(c.type) << " " << c.size;
    EXPECT_EQ(fields[0].Decimals, c.expected.Decimals) << static_cast<int>(c.type) << " " << c.size;
  }
}

TEST(FieldDefsToDBFFieldsTest, KeepsOrderAndCutsNames) {
  tables::FieldDefs defs;
  defs.Add("SUMRECNVT_LONG", tables::FieldType::kFloat);
  defs.Add("a", tables::FieldType::kDate);
  TDBFFieldDefs fields;
  FieldDefsToDBFFields(defs, fields);
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].Name, "SUMRECNVT_");
  EXPECT_EQ(fields[1].Name, "a");
  EXPECT_EQ(fields[1].FieldType, 'D');
}

}  // namespace
}  // namespace epd::dbf
