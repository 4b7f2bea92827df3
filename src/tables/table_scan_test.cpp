// The block scan as the storage offers it: an equality probe tested on the record bytes, the
// caller's test after it, and the scan cache learning from one pass and serving the next.
#include "tables/table_scan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "tables/dbf_layout.h"
#include "tables/dbf_test_util.h"
#include "tables/scan_cache.h"
#include "tables/table_file.h"

namespace epd::tables {
namespace {

using testing::DbfBuilder;
using testing::ScratchDir;

class TableScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScanCache::Instance().Clear();
    ScanCache::Instance().SetLimits(1u << 20, 32u << 20, /*min_records=*/1);
    // IDMSG runs of three, a blank one, a deleted one; CODE with trailing blanks.
    DbfBuilder b(0x03);
    b.Field("IDMSG", 'N', 11).Field("CODE", 'C', 6).Field("SEQ", 'N', 3);
    for (int i = 0; i < 12; ++i) b.Row({std::to_string(i / 3), "c" + std::to_string(i % 2), std::to_string(i)});
    b.Row({"", "c0", "12"});
    b.Row({"1", "c1", "13"}, /*deleted=*/true);
    b.Row({"-0", "c1 ", "14"});
    b.Write(path_);
  }
  void TearDown() override {
    ScanCache::Instance().SetLimits(1u << 20, 32u << 20, 2048);
    ScanCache::Instance().Clear();
  }

  // The record numbers the scan visits.
  std::vector<std::uint32_t> Visit(std::optional<EqualityProbe> probe, RecordTest accept = {},
                                   bool* used_cache = nullptr) {
    auto file = TableFile::Open(path_, TableFile::Access::kRead);
    TableScan scan(*file, std::move(probe), std::move(accept), /*record_runs=*/true);
    std::vector<std::uint32_t> seen;
    scan.Run([&](std::uint32_t n, const char*) { seen.push_back(n); });
    if (used_cache) *used_cache = scan.used_cache();
    return seen;
  }

  ScratchDir dir_;
  std::string path_ = dir_.Path("scan.dbf");
};

using Records = std::vector<std::uint32_t>;

TEST_F(TableScanTest, TheProbeAndTheTestBothDecide) {
  const auto number = [](double v) { return EqualityProbe{0, Cell::Number(v)}; };
  const auto text = [](const char* t) { return EqualityProbe{1, Cell::Text(t)}; };
  EXPECT_EQ(Visit(std::nullopt).size(), 14u);  // every live record, the deleted one left out
  EXPECT_EQ(Visit(number(1)), (Records{3, 4, 5}));
  EXPECT_EQ(Visit(number(0)), (Records{0, 1, 2, 14}));  // -0 is 0; the blank field is no 0
  EXPECT_EQ(Visit(text("c1")), (Records{1, 3, 5, 7, 9, 11, 14}));
  EXPECT_EQ(Visit(text("c1  ")), Visit(text("c1")));  // trailing blanks of the constant
  EXPECT_TRUE(Visit(number(9)).empty());
  // The caller's test sees only what passed the probe, the record's bytes in hand.
  int tested = 0;
  const RecordTest odd_seq = [&tested](const char* record) {
    ++tested;
    return (record[1 + 11 + 6 + 2] - '0') % 2 == 1;  // the last digit of SEQ
  };
  EXPECT_EQ(Visit(number(1), odd_seq), (Records{3, 5}));
  EXPECT_EQ(tested, 3);
  EXPECT_EQ(Visit(std::nullopt, odd_seq).size(), 6u);
}

TEST_F(TableScanTest, APassTeachesTheCacheAndTheNextIsServedFromIt) {
  bool used = true;
  EXPECT_EQ(Visit(EqualityProbe{0, Cell::Number(2)}, {}, &used), (Records{6, 7, 8}));
  EXPECT_FALSE(used);
  EXPECT_EQ(Visit(EqualityProbe{0, Cell::Number(3)}, {}, &used), (Records{9, 10, 11}));
  EXPECT_TRUE(used);
  EXPECT_EQ(Visit(EqualityProbe{0, Cell::Number(0)}, {}, &used), (Records{0, 1, 2, 14}));
  EXPECT_TRUE(used);
  // Every record the cache names is still put to the caller's test.
  EXPECT_EQ(Visit(
                EqualityProbe{0, Cell::Number(3)}, [](const char* r) { return r[1 + 11 + 6 + 2] != '0'; }, &used),
            (Records{9, 11}));
  EXPECT_TRUE(used);
}

// Another program appends records with values that come back in any order, once with an end
// marker where a record should be; the cache follows each growth, and every pass gives what a
// full reading gives.
TEST_F(TableScanTest, AppendsByAnotherProgramAreFollowed) {
  std::mt19937 rng(7);
  auto records = [&](int n, bool marker_second) {
    DbfBuilder b(0x03);
    b.Field("IDMSG", 'N', 11).Field("CODE", 'C', 6).Field("SEQ", 'N', 3);
    for (int i = 0; i < n; ++i)
      b.Row({std::to_string(rng() % 6), "c" + std::to_string(rng() % 3), std::to_string(i)}, rng() % 9 == 0);
    std::string bytes = b.Bytes(0xFFFFFFFF, false).substr(static_cast<std::size_t>(b.HeaderLength()));
    if (marker_second && n > 1) bytes[static_cast<std::size_t>(b.RecordLength())] = '\x1A';
    return bytes;
  };
  auto append = [&](const std::string& bytes) {
    const std::string file = testing::ReadBytes(path_);
    std::uint32_t count = 0;
    for (int i = 3; i >= 0; --i) count = count << 8 | static_cast<unsigned char>(file[4 + static_cast<std::size_t>(i)]);
    count += static_cast<std::uint32_t>(bytes.size() / 21);
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(file.size() - 1));  // over the end marker
    f.write((bytes + '\x1A').data(), static_cast<std::streamsize>(bytes.size() + 1));
    f.seekp(4);
    for (int i = 0; i < 4; ++i) f.put(static_cast<char>(count >> (8 * i)));
  };
  auto full = [&](double v) {
    ScanCache::Instance().SetSuspended(true);
    const Records seen = Visit(EqualityProbe{0, Cell::Number(v)});
    ScanCache::Instance().SetSuspended(false);
    return seen;
  };
  append(records(40, false));
  EXPECT_EQ(Visit(EqualityProbe{0, Cell::Number(1)}), full(1));  // records the whole table
  const std::uint64_t grows = ScanCache::Instance().stats().grows;
  for (int step = 0; step < 12; ++step) {
    append(records(1 + static_cast<int>(rng() % 20), step == 8));
    for (int v = 0; v < 6; ++v) ASSERT_EQ(Visit(EqualityProbe{0, Cell::Number(v)}), full(v)) << step << " " << v;
    // However often the table grows, the sample stays of the same few records.
    EXPECT_LE(ScanCache::Instance().SampledRecords(path_).size(), 2 * 32 + 1u);
  }
  EXPECT_EQ(ScanCache::Instance().stats().grows - grows, 12u);
}

TEST(CanProbeTest, OnlyWhatTheRecordBytesCanAnswer) {
  ScratchDir dir;
  DbfBuilder(0x03)
      .Field("N", 'N', 5)
      .Field("F", 'N', 7, 2)
      .Field("C", 'C', 4)
      .Field("D", 'D', 8)
      .Write(dir.Path("a.dbf"));
  DbfBuilder(0x03).Language(0x26).Field("N", 'N', 5).Field("C", 'C', 4).Write(dir.Path("dos.dbf"));
  const TableLayout plain = TableFile::Open(dir.Path("a.dbf"), TableFile::Access::kRead)->layout();
  const TableLayout dos = TableFile::Open(dir.Path("dos.dbf"), TableFile::Access::kRead)->layout();
  EXPECT_TRUE(CanProbe(plain, 0, Cell::Number(1)));
  EXPECT_TRUE(CanProbe(plain, 1, Cell::Number(1.5)));
  EXPECT_TRUE(CanProbe(plain, 2, Cell::Text("ab")));
  EXPECT_FALSE(CanProbe(plain, 0, Cell::Text("1")));  // a text against a number field
  EXPECT_FALSE(CanProbe(plain, 2, Cell::Number(1)));  // a number against a character field
  EXPECT_FALSE(CanProbe(plain, 3, Cell::Number(1)));  // a date field
  EXPECT_FALSE(CanProbe(plain, 4, Cell::Number(1)));  // no such field
  EXPECT_FALSE(CanProbe(plain, -1, Cell::Number(1)));
  EXPECT_TRUE(CanProbe(dos, 0, Cell::Number(1)));
  EXPECT_FALSE(CanProbe(dos, 1, Cell::Text("ab")));  // 866 bytes are no 1251 text
}

}  // namespace
}  // namespace epd::tables
