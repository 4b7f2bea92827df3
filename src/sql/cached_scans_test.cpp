// The scan cache never changes a result: every query is compared with a plain reading of the
// table after changes through this engine and by other programs.
#include "tables/scan_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "sql/query.h"
#include "tables/dbf_test_util.h"
#include "tables/table.h"

namespace epd::sql {
namespace {

using tables::ScanCache;
using tables::Table;

using tables::testing::DbfBuilder;
using tables::testing::ScratchDir;

constexpr int kRecordLength = 1 + 11 + 6 + 1 + 5;  // IDMSG, CODE, DLVCHN, SEQ

class ScanCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ScanCache::Instance().Clear();
    ScanCache::Instance().SetLimits(1u << 20, 32u << 20, /*min_records=*/1);
    path_ = dir_.Path("body_epd.dbf");
    DbfBuilder b(0x03);
    b.Field("IDMSG", 'N', 11).Field("CODE", 'C', 6).Field("DLVCHN", 'N', 1).Field("SEQ", 'N', 5);
    for (int i = 0; i < 60; ++i)
      b.Row({std::to_string(i / 4 % 7), "c" + std::to_string(i % 5), "0", std::to_string(next_seq_++)});
    b.Write(path_);
  }
  void TearDown() override {
    ScanCache::Instance().SetLimits(1u << 20, 32u << 20, 2048);
    ScanCache::Instance().Clear();
  }

  // SEQ of the rows the query returns.
  std::vector<int> Select(const std::string& where) {
    Query q(dir_.dir());
    q.SetSql("SELECT * FROM \"body_epd.dbf\" WHERE " + where);
    q.Open();
    std::vector<int> seq;
    for (q.First(); !q.Eof(); q.Next()) seq.push_back(q.AsInteger("SEQ"));
    return seq;
  }
  // The same rows found by walking the table.
  std::vector<int> Walk(int idmsg, int dlvchn = -1) {
    std::vector<int> seq;
    auto t = Table::Open(path_);
    for (t->First(); !t->Eof(); t->Next())
      if (!t->IsNull("IDMSG") && t->AsInteger("IDMSG") == idmsg && (dlvchn < 0 || t->AsInteger("DLVCHN") == dlvchn))
        seq.push_back(t->AsInteger("SEQ"));
    return seq;
  }
  int Exec(const std::string& sql) {
    Query q(dir_.dir());
    q.SetSql(sql);
    return q.ExecSql();
  }
  void Append(int idmsg) {
    auto t = Table::Open(path_);
    t->Append();
    t->SetAsString("IDMSG", std::to_string(idmsg));
    t->SetAsString("SEQ", std::to_string(next_seq_++));
    t->Post();
  }
  // Another program rewrites the IDMSG of a record in place; its write is later than ours.
  void ExternalEdit(int record, int idmsg) {
    const auto before = std::filesystem::last_write_time(path_);
    {
      std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
      std::string text = std::to_string(idmsg);
      text = std::string(11 - text.size(), ' ') + text;
      f.seekp(32 * 5 + 1 + static_cast<std::streamoff>(record) * kRecordLength + 1);
      f.write(text.data(), 11);
    }
    std::filesystem::last_write_time(path_, before + std::chrono::seconds(1));
  }
  // Another program appends a record: the record and the end marker, then the header's count.
  void ExternalAppend(int idmsg) {
    std::string file = tables::testing::ReadBytes(path_);
    const std::uint32_t count = static_cast<std::uint32_t>(file.size() - 32 * 5 - 1 - 1) / kRecordLength;
    std::string number = std::to_string(idmsg), seq = std::to_string(next_seq_++);
    std::string record =
        " " + std::string(11 - number.size(), ' ') + number + "c9    0" + std::string(5 - seq.size(), ' ') + seq;
    std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(file.size() - 1));
    f.write((record + '\x1A').data(), static_cast<std::streamsize>(record.size() + 1));
    f.seekp(4);
    for (int i = 0; i < 4; ++i) f.put(static_cast<char>((count + 1) >> (8 * i)));
  }
  // Records appended as one run of the engine.
  void AppendRun(const std::vector<int>& idmsgs) {
    auto t = Table::Open(path_);
    t->BeginAppendRun();
    for (int idmsg : idmsgs) {
      t->Append();
      t->SetAsString("IDMSG", std::to_string(idmsg));
      t->SetAsString("SEQ", std::to_string(next_seq_++));
      t->Post();
    }
    t->Close();
  }
  // SEQ of the record Locate finds, -1 for none.
  static int LocateSeq(Table& t, int idmsg) {
    t.First();
    return t.Locate("IDMSG", {idmsg}) ? t.AsInteger("SEQ") : -1;
  }
  const ScanCache::Stats& Stats() { return ScanCache::Instance().stats(); }

  ScratchDir dir_;
  std::string path_;
  int next_seq_ = 0;
};

TEST_F(ScanCacheTest, RepeatedQueriesReadFromTheCacheAndOwnChangesKeepItRight) {
  const auto stores = Stats().stores, hits = Stats().hits, drops = Stats().drops;
  EXPECT_EQ(Select("idmsg=3"), Walk(3));
  EXPECT_EQ(Stats().stores, stores + 1);
  EXPECT_EQ(Select("idmsg=5"), Walk(5));
  EXPECT_EQ(Select("IDMSG = 5 AND DLVCHN = 0"), Walk(5, 0));
  EXPECT_EQ(Stats().hits, hits + 2);

  // Updating another column keeps the entry; the update itself found its rows through it.
  EXPECT_EQ(Exec(" UPDATE \"body_epd.dbf\"  SET DLVCHN=1  WHERE idMsg=5"), static_cast<int>(Walk(5).size()));
  EXPECT_EQ(Stats().hits, hits + 3);
  EXPECT_EQ(Select("IDMSG = 5 AND DLVCHN = 0"), std::vector<int>{});
  EXPECT_EQ(Select("idmsg=2"), Walk(2));
  EXPECT_EQ(Stats().hits, hits + 5);
  EXPECT_EQ(Stats().drops, drops);

  // Deleting only marks records: the entry stays and the deleted rows are not returned.
  EXPECT_GT(Exec("DELETE FROM \"body_epd.dbf\" WHERE IDMSG=2 AND SEQ < 10"), 0);
  EXPECT_EQ(Select("idmsg=2"), Walk(2));
  EXPECT_EQ(Stats().drops, drops);

  // Changing the cached column drops the entry.
  EXPECT_GT(Exec("UPDATE \"body_epd.dbf\" SET IDMSG=6 WHERE IDMSG=4"), 0);
  EXPECT_EQ(Select("idmsg=6"), Walk(6));
  EXPECT_EQ(Select("idmsg=4"), std::vector<int>{});

  // An append through this engine is followed: the entry takes the new record.
  const auto hits_before_append = Stats().hits;
  Append(6);
  AppendRun({6, 3, 6});
  EXPECT_EQ(Select("idmsg=6"), Walk(6));
  EXPECT_EQ(Select("idmsg=3"), Walk(3));
  EXPECT_EQ(Stats().hits, hits_before_append + 2);
  EXPECT_EQ(Stats().drops, drops + 1);  // the one of the UPDATE of IDMSG above
}

// Locate of a number in one column learns from its first walk and follows the engine's appends,
// through another handle as well; what other programs change it reads again.
TEST_F(ScanCacheTest, LocateOfANumberUsesTheCache) {
  auto held = Table::Open(path_);
  const auto stores = Stats().stores, hits = Stats().hits;
  EXPECT_EQ(LocateSeq(*held, 5), Walk(5).front());
  EXPECT_EQ(Stats().stores, stores + 1);
  EXPECT_EQ(LocateSeq(*held, 9), -1);
  AppendRun({9, 9});
  Append(9);
  EXPECT_EQ(LocateSeq(*held, 9), Walk(9).front());
  EXPECT_EQ(LocateSeq(*held, 5), Walk(5).front());
  EXPECT_EQ(Stats().hits, hits + 3);
  EXPECT_EQ(Stats().stores, stores + 1);
  // Another program's append is followed: only its record is read.
  const auto grows = Stats().grows;
  ExternalAppend(11);
  EXPECT_EQ(LocateSeq(*held, 11), Walk(11).front());
  EXPECT_EQ(Stats().grows, grows + 1);
  EXPECT_EQ(Stats().stores, stores + 1);
  ExternalEdit(0, 9);
  EXPECT_EQ(LocateSeq(*held, 9), 0);
  Exec("DELETE FROM \"body_epd.dbf\" WHERE SEQ=0");
  EXPECT_EQ(LocateSeq(*held, 9), Walk(9).front());
}

TEST_F(ScanCacheTest, FilesChangedByOtherProgramsAreReadAgain) {
  EXPECT_EQ(Select("idmsg=1"), Walk(1));
  ExternalEdit(0, 1);  // record 0 held 0
  const auto drops = Stats().drops;
  EXPECT_EQ(Select("idmsg=1"), Walk(1));
  EXPECT_EQ(Stats().drops, drops + 1);
  EXPECT_EQ(Walk(1).front(), 0);

  // A different file put in place with the same size and modification time.
  EXPECT_EQ(Select("idmsg=1"), Walk(1));
  const std::string other = dir_.Path("other.dbf");
  std::filesystem::copy_file(path_, other);
  const auto stamp = std::filesystem::last_write_time(path_);
  {
    std::fstream f(other, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(32 * 5 + 1 + 1);
    f.write("          1", 11);  // record 0: 1 again (unchanged), record 1: now 1 as well
    f.seekp(32 * 5 + 1 + kRecordLength + 1);
    f.write("          1", 11);
  }
  std::filesystem::last_write_time(other, stamp);
  std::filesystem::rename(other, path_);
  EXPECT_EQ(Select("idmsg=1"), Walk(1));
  EXPECT_EQ(Walk(1)[1], 1);
}

TEST_F(ScanCacheTest, CharacterColumnsToo) {
  EXPECT_EQ(Select("CODE='c3'"), Select("CODE LIKE 'c3'"));
  const auto hits = Stats().hits;
  EXPECT_EQ(Select("CODE = 'c4  '"), Select("CODE LIKE 'c4'"));
  EXPECT_EQ(Stats().hits, hits + 1);
}

// Random changes of every kind between queries: each result must equal a plain reading.
TEST_F(ScanCacheTest, RandomChangesNeverLeaveAStaleOrMissingRow) {
  std::mt19937 rng(99);
  auto held = Table::Open(path_);  // searched through one handle all along
  for (int step = 0; step < 300; ++step) {
    const int key = static_cast<int>(rng() % 8);
    switch (rng() % 7) {
      case 0:
        Exec("UPDATE \"body_epd.dbf\" SET DLVCHN=" + std::to_string(rng() % 2) + " WHERE IDMSG=" + std::to_string(key));
        break;
      case 1:
        Exec("UPDATE \"body_epd.dbf\" SET IDMSG=" + std::to_string(rng() % 8) +
             " WHERE SEQ=" + std::to_string(rng() % next_seq_));
        break;
      case 2: Exec("DELETE FROM \"body_epd.dbf\" WHERE SEQ=" + std::to_string(rng() % next_seq_)); break;
      case 3: Append(key); break;
      case 4: ExternalEdit(static_cast<int>(rng() % 60), key); break;
      case 5: AppendRun({key, static_cast<int>(rng() % 8), key}); break;
      default: break;
    }
    const int probe = static_cast<int>(rng() % 8);
    const std::vector<int> walked = Walk(probe);
    ASSERT_EQ(Select("idmsg=" + std::to_string(probe)), walked) << "step " << step;
    ASSERT_EQ(LocateSeq(*held, probe), walked.empty() ? -1 : walked.front()) << "step " << step;
  }
  EXPECT_GT(Stats().hits, 50u);
}

}  // namespace
}  // namespace epd::sql
