#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/error.h"
#include "platform/text.h"
#include "tables/dbf_test_util.h"
#include "tables/table.h"

using epd::operator""_cp;

namespace epd::tables {
namespace {

using testing::ReadBytes;
using testing::RussianFormat;
using testing::S;
using testing::ScratchDir;
using testing::WriteBytes;

TEST(CreateTableTest, LevelSevenHeaderAndDescriptors) {
  ScratchDir dir;
  const std::string path = dir.Path("SelList.dbf");
  WriteBytes(path, std::string(5000, 'x'));  // replaced
  FieldDefs defs;
  defs.Add("idSeller", FieldType::kInteger);
  defs.Add("Seller", FieldType::kString, 30);
  defs.Add("Price", FieldType::kFloat);
  defs.Add("Made", FieldType::kDate);
  defs.Add("GNVLS", FieldType::kBoolean);
  CreateTable(path, defs);

  const std::string b = ReadBytes(path);
  const std::size_t header = 68 + 48 * 5 + 1;
  ASSERT_EQ(b.size(), header + 1);
  EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x04);
  EXPECT_EQ(b.substr(4, 4), std::string(4, '\0'));
  EXPECT_EQ(static_cast<unsigned char>(b[8]) | (static_cast<unsigned char>(b[9]) << 8), static_cast<int>(header));
  EXPECT_EQ(static_cast<unsigned char>(b[10]) | (static_cast<unsigned char>(b[11]) << 8), 1 + 4 + 30 + 8 + 8 + 1);
  EXPECT_EQ(b[29], '\0');
  EXPECT_EQ(b.substr(32, 7), std::string("ancyrr\0", 7));
  struct Expected {
    const char* name;
    char type;
    int length;
  };
  const Expected fields[] = {
      {"idSeller", 'I', 4}, {"Seller", 'C', 30}, {"Price", 'O', 8}, {"Made", 'D', 8}, {"GNVLS", 'L', 1}};
  for (int i = 0; i < 5; ++i) {
    const std::string d = b.substr(68 + 48 * static_cast<std::size_t>(i), 48);
    EXPECT_EQ(d.substr(0, std::strlen(fields[i].name) + 1), std::string(fields[i].name) + '\0');
    EXPECT_EQ(d[32], fields[i].type);
    EXPECT_EQ(static_cast<unsigned char>(d[33]), fields[i].length);
  }
  EXPECT_EQ(b[header - 1], '\x0D');
  EXPECT_EQ(b[header], '\x1A');
}

TEST(CreateTableTest, CreatedTableTakesAndReturnsValues) {
  RussianFormat ru;
  ScratchDir dir;
  const std::string path = dir.Path("out.dbf");
  FieldDefs defs;
  defs.Add("IDMSG", FieldType::kInteger);
  defs.Add("NAME", FieldType::kString, 20);
  defs.Add("SUMMA", FieldType::kFloat);
  defs.Add("DT", FieldType::kDate);
  defs.Add("GNVLS", FieldType::kBoolean);
  defs.Add("NOTE", FieldType::kMemo);
  CreateTable(path, defs);
  EXPECT_TRUE(std::filesystem::exists(dir.Path("out.dbt")));
  {
    auto t = Table::Open(path);
    t->Append();
    t->SetAsString("IDMSG", "-12345");
    t->SetAsString("NAME", "Аптека"_cp);
    t->SetAsString("SUMMA", "1234,56");
    t->SetAsString("DT", "29.02.2024");
    t->SetAsString("GNVLS", "1");
    t->SetAsString("NOTE", "длинное примечание"_cp);
    t->Post();
    t->Append();
    t->Post();
  }
  EXPECT_EQ(static_cast<unsigned char>(ReadBytes(path)[0]), 0x8C);
  auto t = Table::Open(path);
  EXPECT_EQ(t->AsInteger("IDMSG"), -12345);
  EXPECT_EQ(t->AsString("NAME"), S("Аптека"_cp));
  EXPECT_EQ(t->AsString("SUMMA"), "1234,56");
  EXPECT_EQ(t->AsString("DT"), "29.02.2024");
  EXPECT_EQ(t->AsString("GNVLS"), "True");
  EXPECT_EQ(t->AsString("NOTE"), S("длинное примечание"_cp));
  t->Next();
  for (const char* column : {"IDMSG", "NAME", "SUMMA", "DT", "GNVLS", "NOTE"}) {
    EXPECT_TRUE(t->IsNull(column)) << column;
    EXPECT_EQ(t->AsString(column), "") << column;
  }
}

TEST(CreateTableTest, RefusedDefinitionsCreateNothing) {
  ScratchDir dir;
  struct Case {
    std::string name;
    FieldType type;
    int size;
  };
  const Case cases[] = {{"S", FieldType::kString, 0},
                        {"S", FieldType::kString, 255},
                        {"", FieldType::kInteger, 0},
                        {std::string(32, 'N'), FieldType::kInteger, 0},
                        {"U", FieldType::kUnknown, 0}};
  for (const Case& c : cases) {
    FieldDefs defs;
    defs.Add(c.name, c.type, c.size);
    EXPECT_THROW(CreateTable(dir.Path("bad.dbf"), defs), Error) << c.name;
    EXPECT_FALSE(std::filesystem::exists(dir.Path("bad.dbf")));
  }
  FieldDefs defs;
  defs.Add("idSeller", FieldType::kInteger);
  EXPECT_THROW(defs.Add("IDSELLER", FieldType::kString, 5), Error);
  EXPECT_EQ(defs.size(), 1u);
}

}  // namespace
}  // namespace epd::tables
