// The block scan as the storage offers it: an equality probe tested on the record bytes, the
// caller's test after it, and the scan cache learning from one pass and serving the next.
#include "tables/table_scan.h"

#include <gtest/gtest.h>

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
