#include "tables/table.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "tables/dbf_test_util.h"
#include "tables/field_defs.h"
#include "tables/scan_cache.h"

using epd::operator""_cp;

namespace epd::tables {
namespace {

using testing::DbfBuilder;
using testing::ReadBytes;
using testing::RussianFormat;
using testing::S;
using testing::ScratchDir;

std::uint32_t CountOf(const std::string& bytes) {
  return static_cast<unsigned char>(bytes[4]) | (static_cast<unsigned char>(bytes[5]) << 8) |
         (static_cast<unsigned char>(bytes[6]) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[7])) << 24);
}

// The files the library's own writer makes: no records, language byte 0, no memo file even for
// version 0x83/0x8B, header length 32 * (n + 1) + 1 and the fixed date 2002-01-14.
TEST(TableTest, WriterFilesOpenEmptyAndTakeRecordsBeforeTheEndMarker) {
  RussianFormat ru;
  for (std::uint8_t version : {0x03, 0x83, 0x8B}) {
    ScratchDir dir;
    const std::string path = dir.Path("h12345.dbf");
    DbfBuilder(version).Field("IDMSG", 'N', 11).Field("NAME", 'C', 20).Field("SUM", 'N', 9, 2).Write(path);
    auto t = Table::Open(path);
    EXPECT_TRUE(t->Eof());
    EXPECT_EQ(t->PhysicalRecordCount(), 0u);
    t->Append();
    t->SetAsString("idmsg", "12345");
    t->SetAsString("Name", "Аптека №1"_cp);
    t->SetAsString("SUM", "10,5");
    t->Post();
    t->Append();
    t->SetAsString("IDMSG", "7");
    t->Post();
    t->Close();

    const std::string bytes = ReadBytes(path);
    const std::size_t header = 32 * 4 + 1, record = 1 + 11 + 20 + 9;
    ASSERT_EQ(bytes.size(), header + 2 * record + 1) << int(version);
    EXPECT_EQ(CountOf(bytes), 2u);
    EXPECT_EQ(bytes[0], static_cast<char>(version));
    EXPECT_NE(bytes.substr(1, 3), std::string("\x66\x01\x0E", 3)) << "the last update date is today's";
    EXPECT_EQ(bytes.substr(header, record),
              std::string(" ") + "      12345" + S("Аптека №1"_cp) + std::string(11, ' ') + "    10.50");
    EXPECT_EQ(bytes.back(), '\x1A');

    auto again = Table::Open(path);
    ASSERT_FALSE(again->Eof());
    EXPECT_EQ(again->AsInteger("IDMSG"), 12345);
    EXPECT_EQ(again->AsString("NAME"), S("Аптека №1"_cp));
    EXPECT_EQ(again->AsString("SUM"), "10,5");
    again->Next();
    EXPECT_EQ(again->AsString("IDMSG"), "7");
    EXPECT_TRUE(again->IsNull("NAME"));
    EXPECT_EQ(again->AsString("SUM"), "");
    again->Next();
    EXPECT_TRUE(again->Eof());
  }
}

TEST(TableTest, ZeroFieldTableFromTheWriterTakesRecords) {
  ScratchDir dir;
  const std::string path = dir.Path("empty.dbf");
  DbfBuilder(0x8B).Write(path);
  auto t = Table::Open(path);
  EXPECT_EQ(t->FieldCount(), 0);
  t->Append();
  t->Post();
  EXPECT_EQ(t->PhysicalRecordCount(), 1u);
  EXPECT_EQ(ReadBytes(path).size(), 34u + 1u);
}

TEST(TableTest, DeletedRecordsAreSkippedAndLocateFindsWholeExactValues) {
  RussianFormat ru;
  ScratchDir dir;
  const std::string path = dir.Path("atach.dbf");
  DbfBuilder(0x03)
      .Field("IDSELLER", 'N', 11)
      .Field("IDTEMP", 'N', 11)
      .Field("CNCODE", 'C', 13)
      .Row({"5", "1", "abc"}, /*deleted=*/true)
      .Row({"5", "2", "ABC"})
      .Row({"5", "3", "abc"})
      .Row({"6", "4", "abc"})
      .Row({"7", "5", ""})
      .Row({"8", "6", "12"})
      // IDSELLER bytes as other programs store them, IDTEMP 7 to 11.
      .Record(" 09         " + std::string("          7") + std::string(13, ' '))  // leading zero, left-aligned
      .Record(" -0         " + std::string("          8") + std::string(13, ' '))  // minus zero, left-aligned
      .Record("    10.0E0  " + std::string("          9") + std::string(13, ' '))  // an exponent
      .Record(" ***********" + std::string("         10") + std::string(13, ' '))  // an overflow mark: no number
      .Record("          11" + std::string("         11") + std::string(13, ' '))
      .Write(path);
  auto t = Table::Open(path);
  EXPECT_EQ(t->AsInteger("IDTEMP"), 2) << "the deleted first record is never seen";

  struct Case {
    std::string columns;
    std::vector<Value> keys;
    int found;  // IDTEMP of the row found, 0 for none
  };
  const Case cases[] = {
      {"idseller;cncode", {5, std::string("abc")}, 3},
      {"IDSELLER;CNCODE", {5, std::string("ABC")}, 2},
      {"idseller;cncode", {5, std::string("ab")}, 0},    // whole value only
      {"idseller;cncode", {5, std::string("abc ")}, 0},  // the key is not trimmed
      {"idseller;cncode", {6, std::string("abc")}, 4},
      {"idseller;cncode", {7, std::string("")}, 5},  // an empty key finds a blank field
      {"idseller", {std::string("6")}, 4},           // text key converted for a numeric field
      {"idseller", {6.0}, 4},
      {"cncode", {12}, 6},  // integer key converted for a character field
      {"idseller", {9}, 7},
      {"idseller", {0}, 8},
      {"idseller", {10}, 9},
      {"idseller", {11.0}, 11},
      {"idseller", {12}, 0},
  };
  for (const Case& c : cases) {
    t->First();
    const bool found = t->Locate(c.columns, c.keys);
    EXPECT_EQ(found, c.found != 0) << c.columns;
    if (found) {
      EXPECT_EQ(t->AsInteger("IDTEMP"), c.found) << c.columns;
    }
  }
  EXPECT_THROW(t->Locate("idseller;nosuch", {1, 2}), Error);
  EXPECT_THROW(t->Locate("idseller", {1, 2}), Error);
}

TEST(TableTest, HandleOpenedBeforeAnotherHandleAppendedStillAppendsAfterIt) {
  ScratchDir dir;
  const std::string path = dir.Path("cat_epd.dbf");
  DbfBuilder(0x03).Field("IDMSG", 'N', 11).Row({"1"}).Write(path);
  auto first = Table::Open(path);
  auto second = Table::Open(path);
  second->Append();
  second->SetAsString("IDMSG", "2");
  second->Post();
  first->Append();
  first->SetAsString("IDMSG", "3");
  first->Post();
  EXPECT_EQ(first->PhysicalRecordCount(), 3u);
  std::vector<int> seen;
  for (first->First(); !first->Eof(); first->Next()) seen.push_back(first->AsInteger("IDMSG"));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(TableTest, TruncateTakesBackAppendedRecords) {
  ScratchDir dir;
  const std::string path = dir.Path("b1.dbf");
  DbfBuilder(0x8B).Field("N", 'N', 5).Row({"1"}).Write(path);
  const std::string before = ReadBytes(path);
  auto t = Table::Open(path);
  const std::uint32_t mark = t->PhysicalRecordCount();
  for (int i = 0; i < 3; ++i) {
    t->Append();
    t->SetAsString("N", std::to_string(i));
    t->Post();
  }
  EXPECT_EQ(t->PhysicalRecordCount(), 4u);
  const std::string now = ReadBytes(path);
  const Table::FileTail tail = t->Tail();
  EXPECT_EQ(tail.records, 4u);
  EXPECT_EQ(tail.size, now.size());
  EXPECT_EQ(tail.header, now.substr(0, 32));
  EXPECT_EQ(tail.last, '\x1A');
  t->TruncateRecords(mark);
  const std::string after = ReadBytes(path);
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(after.substr(4), before.substr(4)) << "count, records and end marker as before";
  t->TruncateRecords(10);  // beyond the end: nothing to cut
  EXPECT_EQ(ReadBytes(path).size(), before.size());

  // A record whose header write failed lies past the count, the end marker overwritten: taking
  // the table back to its count cuts that record away and puts the marker back.
  t->Append();
  t->SetAsString("N", "9");
  t->Post();
  std::string torn = ReadBytes(path);
  torn[4] = static_cast<char>(mark);  // the header still counts the records before
  testing::WriteBytes(path, torn);
  t->TruncateRecords(mark);
  EXPECT_EQ(ReadBytes(path).substr(4), before.substr(4));
}

TEST(TableTest, RefusedAssignmentNamesColumnAndValueAndLeavesTheColumn) {
  RussianFormat ru;
  ScratchDir dir;
  const std::string path = dir.Path("t.dbf");
  DbfBuilder(0x03).Field("QTY", 'N', 5).Write(path);
  auto t = Table::Open(path);
  EXPECT_THROW(t->SetAsString("QTY", "1"), Error) << "no record is being appended";
  t->Append();
  t->SetAsString("QTY", "42");
  try {
    t->SetAsString("QTY", "4x");
    FAIL();
  } catch (const Error& e) {
    const std::string m = e.what();
    EXPECT_NE(m.find("QTY"), std::string::npos);
    EXPECT_NE(m.find("\"4x\""), std::string::npos);
    EXPECT_NE(m.find(path), std::string::npos);
  }
  EXPECT_EQ(t->AsString("QTY"), "42");
  EXPECT_THROW(t->SetAsString("NOSUCH", "1"), Error);
  t->Cancel();
  EXPECT_EQ(t->PhysicalRecordCount(), 0u);
}

// An append run: the records are written as they are posted, but counted only when the run
// ends; until then every reader, this handle included, sees the table as it was.
TEST(TableTest, AnAppendRunIsCountedWhenItEnds) {
  ScratchDir dir;
  const std::string path = dir.Path("b.dbf");
  DbfBuilder(0x03).Field("N", 'N', 5).Row({"1"}).Write(path);
  const std::string before = ReadBytes(path);
  auto rows = [&path] {
    std::vector<int> seen;
    auto reader = Table::Open(path);
    for (reader->First(); !reader->Eof(); reader->Next()) seen.push_back(reader->AsInteger("N"));
    return seen;
  };

  auto t = Table::Open(path);
  t->BeginAppendRun();
  for (int i = 2; i <= 4; ++i) {
    t->Append();
    t->SetAsString("N", std::to_string(i));
    t->Post();
    EXPECT_EQ(rows(), (std::vector<int>{1}));
    EXPECT_EQ(t->PhysicalRecordCount(), 1u);
  }
  t->Append();  // appended but not posted when the handle closes: dropped, as without a run
  t->SetAsString("N", "5");
  t->Close();
  EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(CountOf(ReadBytes(path)), 4u);
  EXPECT_EQ(ReadBytes(path).back(), '\x1A');

  // A run given up (the handle released without Close, as after a failure) leaves the count as
  // it was; a later append goes where the run's records lay, and TruncateRecords cuts them.
  {
    auto abandoned = Table::Open(path);
    abandoned->BeginAppendRun();
    abandoned->Append();
    abandoned->SetAsString("N", "8");
    abandoned->Post();
  }
  EXPECT_EQ(rows(), (std::vector<int>{1, 2, 3, 4}));
  auto again = Table::Open(path);
  again->BeginAppendRun();
  again->Append();
  again->SetAsString("N", "9");
  again->Post();
  again->TruncateRecords(1);
  EXPECT_EQ(ReadBytes(path).substr(4), before.substr(4));
  again->Append();
  again->SetAsString("N", "6");
  again->Post();  // no run any more: counted at once
  EXPECT_EQ(rows(), (std::vector<int>{1, 6}));
}

// What a power failure keeps of the writes is up to the disk: a header that counts records is
// written only after the records were handed to it, for a run as for a single record.
TEST(TableTest, RecordsReachTheDiskBeforeTheHeaderCountsThem) {
  for (const bool run : {false, true}) {
    SCOPED_TRACE(run ? "append run" : "single records");
    ScratchDir dir;
    const std::string path = dir.Path("b.dbf");
    DbfBuilder(0x03).Field("N", 'N', 5).Row({"1"}).Write(path);
    std::vector<std::string> steps;
    platform::SetFaultHook([&](platform::FileOp op, std::string_view at, std::uint64_t offset, std::size_t) {
      if (at != path) return false;
      if (op == platform::FileOp::kSync) steps.push_back("sync");
      if (op == platform::FileOp::kWrite) steps.push_back(offset < 32 ? "header" : "records");
      return false;
    });
    auto t = Table::Open(path);
    if (run) t->BeginAppendRun();
    for (int i = 2; i <= 3; ++i) {
      t->Append();
      t->SetAsString("N", std::to_string(i));
      t->Post();
    }
    if (run) t->EndAppendRun();
    t->Sync();
    platform::SetFaultHook(nullptr);
    const std::vector<std::string> one = {"records", "sync", "header"};
    std::vector<std::string> expected = one;
    if (!run) expected.insert(expected.end(), one.begin(), one.end());
    expected.push_back("sync");
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(CountOf(ReadBytes(path)), 3u);
  }
}

// A run's records taken back from one on: the run goes on there, whether the records were still
// collected or written already (a run of more than one large write), and the file ends right
// after the records counted at its end.
TEST(TableTest, TakeBackDropsARunsLaterRecordsAndTheRunGoesOn) {
  for (const int before_cut : {2, 3000}) {
    SCOPED_TRACE(before_cut);
    ScratchDir dir;
    const std::string path = dir.Path("b.dbf");
    DbfBuilder(0x03).Field("N", 'N', 5).Field("T", 'C', 200).Row({"1", "x"}).Write(path);
    auto t = Table::Open(path);
    t->BeginAppendRun();
    auto append = [&](int n) {
      t->Append();
      t->SetAsString("N", std::to_string(n));
      t->Post();
    };
    for (int i = 0; i < before_cut; ++i) append(2);
    const std::uint32_t cut = t->AppendedCount();
    EXPECT_EQ(cut, 1u + before_cut);
    for (int i = 0; i < before_cut; ++i) append(3);
    t->TakeBack(cut);
    EXPECT_EQ(t->AppendedCount(), cut);
    append(4);
    t->EndAppendRun();
    std::map<int, int> seen;
    for (t->First(); !t->Eof(); t->Next()) ++seen[t->AsInteger("N")];
    EXPECT_EQ(seen, (std::map<int, int>{{1, 1}, {2, before_cut}, {4, 1}}));
    t->Close();
    const std::string bytes = ReadBytes(path);
    EXPECT_EQ(bytes.size(), 32u * 3 + 1 + (cut + 1) * 206u + 1);
    EXPECT_EQ(bytes.back(), '\x1A');
  }
}

// A search for a number recorded in the scan cache, during an append run that spans many
// searches: the run's writes past the header's count leave what the cache knows standing, and
// the end of the run lets it follow the records the header now counts.
TEST(TableTest, SearchesDuringAnAppendRunAreServedByTheScanCache) {
  ScanCache& cache = ScanCache::Instance();
  cache.Clear();
  cache.SetLimits(1u << 20, 32u << 20, /*min_records=*/1);
  ScratchDir dir;
  const std::string path = dir.Path("h.dbf");
  DbfBuilder builder(0x03);
  builder.Field("IDMSG", 'N', 10).Field("T", 'C', 200);
  for (int i = 1; i <= 100; ++i) builder.Row({std::to_string(i), "x"});
  builder.Write(path);
  auto t = Table::Open(path);
  ASSERT_TRUE(t->Locate("IDMSG", {Value(7)}));  // walks the table, records it
  const std::uint64_t hits = cache.stats().hits;
  t->BeginAppendRun();
  for (int i = 101; i <= 2000; ++i) {  // several large writes past the count
    t->Append();
    t->SetAsString("IDMSG", std::to_string(i));
    t->Post();
    if (i % 500 == 0) {
      EXPECT_TRUE(t->Locate("IDMSG", {Value(50)}));
      EXPECT_FALSE(t->Locate("IDMSG", {Value(i)}));  // the run's records are not counted yet
    }
  }
  t->Sync();
  EXPECT_TRUE(t->Locate("IDMSG", {Value(99)}));
  EXPECT_EQ(cache.stats().hits - hits, 9u);
  t->EndAppendRun();
  EXPECT_TRUE(t->Locate("IDMSG", {Value(1999)}));
  EXPECT_EQ(cache.stats().hits - hits, 10u);
  cache.SetLimits(1u << 20, 32u << 20, 2048);
  cache.Clear();
}

TEST(TableTest, ColumnsByPosition) {
  RussianFormat ru;
  ScratchDir dir;
  const std::string path = dir.Path("t.dbf");
  DbfBuilder(0x03).Field("NAME", 'C', 10).Field("SUM", 'N', 9, 2).Field("OK", 'L', 1).Write(path);
  auto t = Table::Open(path);
  const int sum = t->FieldIndex("sum");
  ASSERT_EQ(sum, 1);
  t->Append();
  t->SetAsStringAt(0, "Бинт"_cp);
  t->SetAsStringAt(sum, "12,5");
  t->SetAsStringAt(2, "1");
  EXPECT_THROW(t->SetAsStringAt(3, "x"), Error);
  EXPECT_THROW(t->SetAsStringAt(sum, "12.5.1"), Error);
  t->Post();
  t->First();
  EXPECT_EQ(t->AsStringAt(0), S("Бинт"_cp));
  EXPECT_EQ(t->AsStringAt(sum), "12,5");
  EXPECT_TRUE(t->AsBooleanAt(2));
  EXPECT_THROW(t->AsStringAt(-1), Error);
}

}  // namespace
}  // namespace epd::tables
