#include "tables/field_codec.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "platform/text.h"
#include "tables/dbf_test_util.h"
#include "tables/table.h"

using epd::operator""_cp;

namespace epd::tables {
namespace {

using testing::DbfBuilder;
using testing::ReadBytes;
using testing::RussianFormat;
using testing::S;
using testing::ScratchDir;

std::string Hex(const std::string& bytes) {
  static const char* d = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += d[c >> 4];
    out += d[c & 15];
  }
  return out;
}

struct AssignCase {
  char type;
  int length;
  int decimals;
  std::string text;
  bool accepted;
  std::string stored;  // field bytes (hex for binary types of level 7), when accepted
  std::string read;    // AsString afterwards
};

// Assigns the text to a one-field table of the given level and returns the stored field bytes.
void CheckAssign(std::uint8_t version, const AssignCase& c, bool hex) {
  ScratchDir dir;
  const std::string path = dir.Path("v.dbf");
  DbfBuilder(version).Field("F", c.type, c.length, c.decimals).Write(path);
  auto t = Table::Open(path);
  t->Append();
  const std::string label = std::string(1, c.type) + " <" + c.text + ">";
  if (!c.accepted) {
    EXPECT_THROW(t->SetAsString("F", c.text), Error) << label;
    return;
  }
  ASSERT_NO_THROW(t->SetAsString("F", c.text)) << label;
  t->Post();
  const std::string bytes = ReadBytes(path);
  const std::size_t header = (version == 0x04 ? 68 + 48 : 32 + 32) + 1;
  const std::string field = bytes.substr(header + 1, static_cast<std::size_t>(c.length));
  EXPECT_EQ(hex ? Hex(field) : field, c.stored) << label;
  EXPECT_EQ(t->AsString("F"), c.read) << label;
}

TEST(FieldCodecTest, TextAssignedToFieldsOfLevelThree) {
  RussianFormat ru;
  const AssignCase cases[] = {
      {'C', 10, 0, S("Привет, мир!"_cp), true, S("Привет, ми"_cp), S("Привет, ми"_cp)},
      {'C', 6, 0, "  ab", true, "  ab  ", "  ab"},
      {'C', 6, 0, "", true, "      ", ""},
      {'N', 11, 0, "12345", true, "      12345", "12345"},
      {'N', 11, 0, " -7 ", true, "         -7", "-7"},
      {'N', 11, 0, "12,5", false, "", ""},
      {'N', 11, 0, "abc", false, "", ""},
      {'N', 4, 0, "12345", false, "", ""},  // does not fit
      {'N', 9, 2, "12,5", true, "    12.50", "12,5"},
      {'N', 9, 2, "-0,004", true, "     0.00", "0"},
      {'N', 9, 2, "12.5", false, "", ""},  // the regional separator is the comma
      {'N', 9, 2, "1234567,89", false, "", ""},
      {'F', 12, 3, "1E3", true, "    1000.000", "1000"},
      {'D', 8, 0, "14.01.2002", true, "20020114", "14.01.2002"},
      {'D', 8, 0, "1.2.2003", true, "20030201", "01.02.2003"},
      {'D', 8, 0, "31.02.2002", false, "", ""},
      {'D', 8, 0, "2002-01-14", false, "", ""},
      {'D', 8, 0, "", true, "        ", ""},
      {'L', 1, 0, "True", true, "T", "True"},
      {'L', 1, 0, "t", true, "T", "True"},
      {'L', 1, 0, "FAL", true, "F", "False"},
      {'L', 1, 0, "1", true, "T", "True"},
      {'L', 1, 0, "0", true, "F", "False"},
      {'L', 1, 0, "yes", false, "", ""},
      {'L', 1, 0, "Truth", false, "", ""},
      {'L', 1, 0, "", true, " ", ""},
  };
  for (const AssignCase& c : cases) CheckAssign(0x03, c, false);
}

TEST(FieldCodecTest, TextAssignedToBinaryFieldsOfLevelSeven) {
  RussianFormat ru;
  const AssignCase cases[] = {
      {'I', 4, 0, "0", true, "80 00 00 00", "0"},
      {'I', 4, 0, "-1", true, "7F FF FF FF", "-1"},
      {'I', 4, 0, "2147483647", true, "FF FF FF FF", "2147483647"},
      {'I', 4, 0, "2147483648", false, "", ""},
      {'I', 4, 0, "1,5", false, "", ""},
      {'I', 4, 0, "", true, "00 00 00 00", ""},
      {'O', 8, 0, "43,65", true, "C0 45 D3 33 33 33 33 33", "43,65"},
      {'O', 8, 0, "-199,99", true, "3F 97 00 51 EB 85 1E B7", "-199,99"},
      {'O', 8, 0, "0", true, "80 00 00 00 00 00 00 00", "0"},
      {'O', 8, 0, "", true, "00 00 00 00 00 00 00 00", ""},
      {'@', 8, 0, "01.01.1970", true, "42 CC 41 8B A9 9A 00 00", "01.01.1970"},
      {'@', 8, 0, "01.01.1970 10:30", true, "42 CC 41 8C C9 FE 20 00", "01.01.1970 10:30:00"},
  };
  for (const AssignCase& c : cases) CheckAssign(0x04, c, true);
}

struct ReadCase {
  char type;
  int length;
  int decimals;
  std::string stored;
  std::string text;  // AsString
  bool null;
};

TEST(FieldCodecTest, StoredBytesMetInTheWildReadAsText) {
  RussianFormat ru;
  const ReadCase cases[] = {
      {'N', 6, 0, "    12", "12", false},
      {'N', 6, 0, "      ", "", true},
      {'N', 6, 0, "******", "", true},  // overflow marks
      {'N', 6, 0, std::string(" 12\0\0\0", 6), "12", false},
      {'N', 6, 0, std::string("\0\0\0\0\0\0", 6), "", true},
      {'N', 6, 2, "  12,5", "12,5", false},  // a comma as decimal point
      {'N', 6, 2, "1.E+3 ", "1000", false},
      {'N', 6, 2, "   .  ", "", true},
      {'N', 6, 2, " -0.00", "0", false},
      {'N', 6, 2, "  abc ", "", true},
      {'N', 20, 4, "   0.100000000000000", "0,1", false},
      {'N', 20, 0, "  123456789012345678", "1,23456789012346E17", false},
      {'D', 8, 0, "20020114", "14.01.2002", false},
      {'D', 8, 0, "        ", "", true},
      {'D', 8, 0, "00000000", "", true},
      {'D', 8, 0, "0       ", "", true},
      {'D', 8, 0, "20021301", "", true},
      {'L', 1, 0, "?", "", true},
      {'L', 1, 0, "y", "True", false},
      {'L', 1, 0, "N", "False", false},
      {'C', 5, 0, std::string("ab\0\0\0", 5), "ab", false},
      {'C', 5, 0, "     ", "", true},
      {'X', 4, 0, "raw ", "raw", false},  // an unknown type reads as its text
  };
  for (const ReadCase& c : cases) {
    ScratchDir dir;
    const std::string path = dir.Path("r.dbf");
    DbfBuilder(0x03).Field("F", c.type, c.length, c.decimals).Record(" " + c.stored).Write(path);
    auto t = Table::Open(path);
    ASSERT_FALSE(t->Eof());
    EXPECT_EQ(t->AsString("F"), c.text) << c.type << " <" << c.stored << ">";
    EXPECT_EQ(t->IsNull("F"), c.null) << c.type << " <" << c.stored << ">";
  }
}

TEST(FieldCodecTest, IntegerAndLogicalReadsOfEachType) {
  RussianFormat ru;
  ScratchDir dir;
  const std::string path = dir.Path("r.dbf");
  DbfBuilder(0x03)
      .Field("SUM", 'N', 9, 2)
      .Field("NAME", 'C', 5)
      .Field("D", 'D', 8)
      .Field("L", 'L', 1)
      .Row({"12.50", "42", "20020114", "T"})
      .Row({"13.50", "x", "", ""})
      .Row({"", "", "", "F"})
      .Write(path);
  auto t = Table::Open(path);
  EXPECT_EQ(t->AsInteger("SUM"), 12);  // to the nearest, halves to even
  EXPECT_EQ(t->AsInteger("name"), 42);
  EXPECT_THROW(t->AsInteger("D"), Error);
  EXPECT_TRUE(t->AsBoolean("L"));
  EXPECT_TRUE(t->AsBoolean("SUM"));
  t->Next();
  EXPECT_EQ(t->AsInteger("SUM"), 14);
  EXPECT_THROW(t->AsInteger("NAME"), Error);
  EXPECT_FALSE(t->AsBoolean("L"));
  t->Next();
  EXPECT_EQ(t->AsInteger("SUM"), 0);  // blank reads as 0
  EXPECT_FALSE(t->AsBoolean("L"));
  EXPECT_THROW(t->AsString("NOSUCH"), Error);
}

TEST(FieldCodecTest, RegionalFormatDecidesSeparatorAndDateForm) {
  platform::SetRegionalFormatOverride(platform::RegionalFormat{'.', "M/d/yy"});
  ScratchDir dir;
  const std::string path = dir.Path("r.dbf");
  DbfBuilder(0x03).Field("SUM", 'N', 9, 2).Field("D", 'D', 8).Write(path);
  auto t = Table::Open(path);
  t->Append();
  t->SetAsString("SUM", "12.5");
  t->SetAsString("D", "1/14/02");
  EXPECT_EQ(t->AsString("SUM"), "12.5");
  EXPECT_EQ(t->AsString("D"), "1/14/02");
  t->Post();
  platform::SetRegionalFormatOverride(std::nullopt);
  EXPECT_NE(ReadBytes(path).find("20020114"), std::string::npos);
}

}  // namespace
}  // namespace epd::tables
