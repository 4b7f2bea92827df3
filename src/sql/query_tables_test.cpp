// The storage and the statements over the same files: what a statement changes the table
// handles see and take back, values read through a query copied into tables, damaged files
// under queries.
#include <gtest/gtest.h>

#include <random>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "sql/query.h"
#include "tables/dbf_test_util.h"
#include "tables/field_defs.h"
#include "tables/table.h"
#include "tables/table_walk.h"

using epd::operator""_cp;

namespace epd::sql {
namespace {

using tables::CreateTable;
using tables::FieldDefs;
using tables::FieldType;
using tables::Table;
using tables::testing::DbfBuilder;
using tables::testing::ReadBytes;
using tables::testing::RussianFormat;
using tables::testing::S;
using tables::testing::ScratchDir;
using tables::testing::WriteBytes;

// Numbers stored with more digits than a 64-bit integer holds go through the general decoding,
// in Locate and in a scan alike (fuzzing found the shortcut for plain digits overflowing).
TEST(TableTest, NumbersOfTwentyDigitsAreReadWhole) {
  RussianFormat ru;
  ScratchDir dir;
  const std::string path = dir.Path("big.dbf");
  DbfBuilder(0x03)
      .Field("BIG", 'N', 20)
      .Field("ID", 'N', 3)
      .Row({"88888888888888888888", "1"})
      .Row({"-9999999999999999999", "2"})
      .Row({"999999999999999999", "3"})
      .Write(path);
  auto t = Table::Open(path);
  const std::pair<std::string, int> keys[] = {
      {"88888888888888888888", 1}, {"-9999999999999999999", 2}, {"999999999999999999", 3}};
  for (const auto& [key, id] : keys) {
    t->First();
    ASSERT_TRUE(t->Locate("BIG", {std::stod(key)})) << key;
    EXPECT_EQ(t->AsInteger("ID"), id);
    Query q;
    q.SetSql("SELECT ID FROM \"" + path + "\" WHERE BIG = " + key);
    q.Open();
    ASSERT_EQ(q.RecordCount(), 1) << key;
    EXPECT_EQ(q.AsInteger("ID"), id);
  }
}

// What an incomplete replacement of an invoice takes back: its DELETE, whatever handle or
// statement made it, and records appended after it.
TEST(TableTest, DeletionFlagsTakeBackADeleteStatement) {
  ScratchDir dir;
  const std::string path = dir.Path("body.dbf");
  DbfBuilder(0x03)
      .Field("IDMSG", 'N', 11)
      .Row({"1"})
      .Row({"2"}, /*deleted=*/true)
      .Row({"2"})
      .Row({"3"})
      .Row({"2"})
      .Write(path);
  const std::string before = ReadBytes(path);
  auto t = Table::Open(path);
  const std::string flags = t->DeletionFlags();
  EXPECT_EQ(flags, " *   ");
  const std::uint32_t mark = t->PhysicalRecordCount();
  Query remove;
  remove.SetSql("DELETE FROM \"" + path + "\" WHERE IDMSG=2");
  EXPECT_EQ(remove.ExecSql(), 2);
  EXPECT_EQ(t->DeletionFlags(), " ** *");
  t->Append();
  t->SetAsString("IDMSG", "2");
  t->Post();
  t->TruncateRecords(mark);
  t->RestoreDeletionFlags(flags);
  EXPECT_EQ(ReadBytes(path).substr(4), before.substr(4));
  std::vector<int> seen;
  for (t->First(); !t->Eof(); t->Next()) seen.push_back(t->AsInteger("IDMSG"));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 2}));
  Query count;
  count.SetSql("SELECT * FROM \"" + path + "\" WHERE IDMSG=2");
  count.Open();
  EXPECT_EQ(count.RecordCount(), 2);
}

// SetFromAt copies a value without its text where that stores the same bytes. Every pair of
// column kinds, values of every shape, with and without the 866 conversion, in regional forms
// whose dates do and do not read back: the records must come out as through the text.
TEST(TableTest, ValuesCopiedWithoutTheirTextStoreWhatTheTextWould) {
  ScratchDir dir;
  const std::vector<std::vector<std::string>> columns = {
      {S("Бинт марлевый"_cp), "", "  lead", std::string(25, 'x'), S("Ёлка «№5»"_cp), "a"},
      {"1234.50", "-0.00", "", "12345678.99", "1.5", "abc", "1,25", ".5", "99.999", "1E3", "-7"},
      {"42", "-7", "", "1234567890", "3.7", "0", "0042"},
      {"0.125", "1.1", "", "-12.5", "0.0001", "123456.789"},
      {"20240312", "", "00000000", "20240230", "19991231", "09990101", "2024031"},
      {"T", "F", "?", " ", "Y", "n"},
      {"4601234500017", "A-5521", "", "12", "0012"}};
  DbfBuilder source_builder(0x03);
  source_builder.Field("NAME", 'C', 20).Field("SUM", 'N', 12, 2).Field("QTY", 'N', 10).Field("RATE", 'F', 10, 3);
  source_builder.Field("DAY", 'D', 8).Field("OK", 'L', 1).Field("CODE", 'C', 13);
  for (std::size_t r = 0; r < 11; ++r) {
    std::vector<std::string> row;
    for (const auto& values : columns) row.push_back(values[r % values.size()]);
    source_builder.Row(row);
  }
  const std::string level3 = dir.Path("src3.dbf"), level7 = dir.Path("src7.dbf");
  source_builder.Write(level3);
  {
    RussianFormat ru;
    FieldDefs defs;
    defs.Add("NAME", FieldType::kString, 20);
    defs.Add("SUM", FieldType::kFloat);
    defs.Add("QTY", FieldType::kInteger);
    defs.Add("RATE", FieldType::kFloat);
    defs.Add("DAY", FieldType::kDate);
    defs.Add("OK", FieldType::kBoolean);
    defs.Add("CODE", FieldType::kString, 13);
    CreateTable(level7, defs);
    auto from = Table::Open(level3);
    auto to = Table::Open(level7);
    for (from->First(); !from->Eof(); from->Next()) {
      to->Append();
      for (int i = 0; i < 7; ++i) {
        try {
          to->SetAsStringAt(i, from->AsStringAt(i));
        } catch (const Error&) {
        }
      }
      to->Post();
    }
    // Doubles whose 15-digit text reads back as another number.
    to->Append();
    to->SetAsString("SUM", "0,30000000000000004");
    to->SetAsString("RATE", "1234567,891234567");
    to->SetAsString("QTY", "2147483647");
    to->Post();
  }
  auto make_outputs = [&](const std::string& name) {
    DbfBuilder(0x03)
        .Field("C5", 'C', 5)
        .Field("C80", 'C', 80)
        .Field("N122", 'N', 12, 2)
        .Field("N62", 'N', 6, 2)
        .Field("N10", 'N', 10)
        .Field("N3", 'N', 3)
        .Field("F123", 'F', 12, 3)
        .Field("D", 'D', 8)
        .Field("L", 'L', 1)
        .Write(dir.Path(name + "3.dbf"));
    FieldDefs defs;
    defs.Add("I", FieldType::kInteger);
    defs.Add("O", FieldType::kFloat);
    defs.Add("D", FieldType::kDate);
    defs.Add("C", FieldType::kString, 10);
    defs.Add("L", FieldType::kBoolean);
    CreateTable(dir.Path(name + "7.dbf"), defs);
  };
  int copies = 0;
  for (const platform::RegionalFormat& format :
       {platform::RegionalFormat{',', "dd.MM.yyyy"}, platform::RegionalFormat{'.', "M/d/yy"},
        platform::RegionalFormat{',', "yyyy-MM-dd"}, platform::RegionalFormat{'\xB7', "d/M/yyyy"}}) {
    platform::SetRegionalFormatOverride(format);
    for (bool to_866 : {false, true}) {
      SCOPED_TRACE(format.short_date + (to_866 ? " 866" : ""));
      make_outputs("fast");
      make_outputs("slow");
      for (const char* out_level : {"3.dbf", "7.dbf"}) {
        auto fast = Table::Open(dir.Path(std::string("fast") + out_level));
        auto slow = Table::Open(dir.Path(std::string("slow") + out_level));
        for (const std::string& source_path : {level3, level7}) {
          Query q;
          q.SetSql("SELECT * FROM \"" + source_path + "\"");
          q.Open();
          for (q.First(); !q.Eof(); q.Next()) {
            for (int i = 0; i < q.FieldCount(); ++i) {
              for (int j = 0; j < fast->FieldCount(); ++j) {
                fast->Append();
                slow->Append();
                bool fast_refused = false, slow_refused = false;
                try {
                  fast->SetFromAt(j, q, i, to_866);
                } catch (const Error&) {
                  fast_refused = true;
                }
                try {
                  const std::string text = q.AsStringAt(i);
                  slow->SetAsStringAt(j, to_866 ? platform::Cp1251ToCp866(text) : text);
                } catch (const Error&) {
                  slow_refused = true;
                }
                EXPECT_EQ(fast_refused, slow_refused) << q.FieldName(i) << " -> " << fast->FieldName(j);
                fast->Post();
                slow->Post();
                ++copies;
              }
            }
          }
        }
        fast->Close();
        slow->Close();
        const std::string fast_bytes = ReadBytes(dir.Path(std::string("fast") + out_level));
        const std::string slow_bytes = ReadBytes(dir.Path(std::string("slow") + out_level));
        ASSERT_EQ(fast_bytes.size(), slow_bytes.size());
        const std::size_t header =
            static_cast<unsigned char>(fast_bytes[8]) | (static_cast<unsigned char>(fast_bytes[9]) << 8);
        const std::size_t record =
            static_cast<unsigned char>(fast_bytes[10]) | (static_cast<unsigned char>(fast_bytes[11]) << 8);
        for (std::size_t at = header; at + record <= fast_bytes.size(); at += record)
          ASSERT_EQ(fast_bytes.substr(at, record), slow_bytes.substr(at, record))
              << "record " << (at - header) / record;
      }
    }
  }
  platform::SetRegionalFormatOverride(std::nullopt);
  EXPECT_GT(copies, 4000);
}

DbfBuilder TwoRows() {
  return DbfBuilder(0x03).Field("ID", 'N', 3).Field("NAME", 'C', 4).Row({"1", "one"}).Row({"2", "two"});
}

// Language driver 0x26 (DOS Russian): the condition compares the program's 1251 text.
TEST(DamagedFilesTest, DosCodedTextIsQueriedInTheProgramsCodePage) {
  RussianFormat ru;
  ScratchDir dir;
  DbfBuilder(0x03)
      .Language(0x26)
      .Field("NAME", 'C', 10)
      .Row({platform::Cp1251ToCp866("Ёлка"_cp)})
      .Row({platform::Cp1251ToCp866("Юг"_cp)})
      .Write(dir.Path("dos.dbf"));
  Query q(dir.dir());
  q.SetSql(S("SELECT * FROM \"dos.dbf\" WHERE UPPER(NAME) LIKE 'Ю%'"_cp));
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.AsString("NAME"), S("Юг"_cp));
}

// Random damage to real table bytes: every file either reads or raises epd::Error. The address
// sanitizer build turns any read outside a buffer into a failure here.
TEST(DamagedFilesTest, RandomDamageNeverCrashes) {
  std::mt19937 rng(20240611);
  const std::string seeds[] = {
      TwoRows().Bytes(),
      DbfBuilder(0x04)
          .DriverName("ancyrr")
          .Field("I", 'I', 4)
          .Field("O", 'O', 8)
          .Field("T", '@', 8)
          .Field("M", 'M', 10)
          .Record(std::string(31, '\x80'))
          .Bytes(),
      DbfBuilder(0x30)
          .Field("I", 'I', 4)
          .Field("Y", 'Y', 8)
          .Field("T", 'T', 8)
          .Field("B", 'B', 8)
          .Field("M", 'M', 4)
          .ExtraHeader(std::string(263, '\0'))
          .Record(std::string(33, '\x01'))
          .Bytes(),
  };
  ScratchDir dir(/*in_memory=*/true);
  const std::string path = dir.Path("fuzz.dbf");
  int opened = 0;
  for (int round = 0; round < 1200; ++round) {
    std::string b = seeds[static_cast<std::size_t>(round) % 3];
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = rng() % b.size();
      switch (rng() % 4) {
        case 0: b[at] = static_cast<char>(rng()); break;
        case 1: b.resize(at); break;
        case 2: b.insert(at, std::string(1 + rng() % 40, static_cast<char>(rng()))); break;
        default: b[at] = static_cast<char>(b[at] ^ (1 << (rng() % 8))); break;
      }
      if (b.empty()) b = "x";
    }
    WriteBytes(path, b);
    WriteBytes(dir.Path("fuzz.dbt"), b);  // a memo file of garbage beside it, too
    try {
      tables::ReadWholeTable(path);
      ++opened;
      Query q(dir.dir());
      q.SetSql("SELECT * FROM \"fuzz.dbf\" ORDER BY 1");
      q.Open();
    } catch (const Error&) {
    }
  }
  EXPECT_GT(opened, 200);
}

}  // namespace
}  // namespace epd::sql
