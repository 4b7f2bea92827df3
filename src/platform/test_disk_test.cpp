// The power-loss test's disk: what it keeps of unsynced writes and names. A disk that kept too
// much would let the power-loss test pass whatever the export synced.
#include "platform/test_disk.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace epd::testing_support {
namespace {

using platform::FileOp;
using Outcome = PowerLossDisk::Outcome;
using Files = std::map<std::string, std::string>;

RecordedChange Change(FileOp op, const std::string& path, std::string data = {}, std::uint64_t offset = 0) {
  RecordedChange c;
  c.op = op;
  c.path = "/r/" + path;
  c.data = std::move(data);
  c.offset = offset;
  return c;
}
RecordedChange Rename(const std::string& from, const std::string& to) {
  RecordedChange c = Change(FileOp::kRename, from);
  c.to = "/r/" + to;
  return c;
}
RecordedChange Write(const std::string& path, std::string data, std::uint64_t at = 0) {
  return Change(FileOp::kWrite, path, std::move(data), at);
}

PowerLossDisk Replayed(const Files& start, const std::vector<RecordedChange>& changes) {
  PowerLossDisk disk("/r", DiskTree{{"D"}, start});
  for (const RecordedChange& c : changes) disk.Apply(c);
  return disk;
}

TEST(PowerLossDiskTest, TheDecidedOutcomesKeepWhatWasSyncedAndNoMore) {
  struct Case {
    const char* name;
    std::vector<RecordedChange> changes;
    Files nothing, names, data, everything;  // the files after each decided outcome
  };
  const Files old = {{"D/a", "old"}};
  const Files x = {{"D/a", "x"}};
  const Case cases[] = {
      {"a write not synced", {Write("D/a", "new!")}, old, old, {{"D/a", "new!"}}, {{"D/a", "new!"}}},
      {"a write synced",
       {Write("D/a", "new!"), Change(FileOp::kSync, "D/a")},
       {{"D/a", "new!"}},
       {{"D/a", "new!"}},
       {{"D/a", "new!"}},
       {{"D/a", "new!"}}},
      {"a file made and synced, its folder not",
       {Change(FileOp::kCreate, "D/b"), Write("D/b", "x"), Change(FileOp::kSync, "D/b")},
       old,
       {{"D/a", "old"}, {"D/b", "x"}},
       old,
       {{"D/a", "old"}, {"D/b", "x"}}},
      {"renamed over, its folder synced, its data not",
       {Change(FileOp::kCreate, "D/a.new"), Write("D/a.new", "x"), Rename("D/a.new", "D/a"),
        Change(FileOp::kSyncDirectory, "D")},
       {{"D/a", ""}},
       {{"D/a", ""}},
       x,
       x},
      {"renamed over after its data was synced, its folder not",
       {Change(FileOp::kCreate, "D/a.new"), Write("D/a.new", "x"), Change(FileOp::kSync, "D/a.new"),
        Rename("D/a.new", "D/a")},
       old,
       x,
       old,
       x},
      {"a folder made and synced inside, not in its parent",
       {Change(FileOp::kCreateDirectory, "D/E"), Change(FileOp::kCreate, "D/E/f"), Write("D/E/f", "x"),
        Change(FileOp::kSync, "D/E/f"), Change(FileOp::kSyncDirectory, "D/E")},
       old,
       {{"D/a", "old"}, {"D/E/f", "x"}},
       old,
       {{"D/a", "old"}, {"D/E/f", "x"}}},
      {"a removal not synced", {Change(FileOp::kRemove, "D/a")}, old, {}, old, {}},
      {"a truncation after a synced write",
       {Write("D/a", "longer"), Change(FileOp::kSync, "D/a"), Change(FileOp::kTruncate, "D/a", {}, 2)},
       {{"D/a", "longer"}},
       {{"D/a", "longer"}},
       {{"D/a", "lo"}},
       {{"D/a", "lo"}}},
      {"an existing file created again", {Change(FileOp::kCreate, "D/a"), Write("D/a", "x")}, old, old, x, x},
  };
  std::mt19937 random(1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PowerLossDisk disk = Replayed(old, c.changes);
    EXPECT_EQ(disk.After(Outcome::kNothingUnsynced, random).files, c.nothing);
    EXPECT_EQ(disk.After(Outcome::kNamesWithoutData, random).files, c.names);
    EXPECT_EQ(disk.After(Outcome::kDataWithoutNames, random).files, c.data);
    EXPECT_EQ(disk.After(Outcome::kEverything, random).files, c.everything);
  }
}

// Records appended, then the header that counts them: the disk may hold the header's sector
// alone, the records' sectors never written.
TEST(PowerLossDiskTest, TheLastWriteMayReachTheDiskAlone) {
  const std::size_t sector = PowerLossDisk::kSector;
  const std::string header(sector, 'h');
  const PowerLossDisk disk =
      Replayed({{"D/t", header}}, {Write("D/t", std::string(2 * sector, 'r'), sector), Write("D/t", "HH", 4),
                                   Change(FileOp::kCreate, "D/u"), Write("D/u", "x")});
  std::mt19937 random(1);
  const Files files = disk.After(Outcome::kLastWritesOnly, random).files;
  std::string expected = header + std::string(2 * sector, '\0');
  expected.replace(4, 2, "HH");
  EXPECT_EQ(files.at("D/t"), expected);
  EXPECT_EQ(files.at("D/u"), "x");  // names are kept
}

// Drawn outcomes: a file holds its synced content and a prefix of the writes after it (the last
// one possibly cut), or its sectors each old or new; both ends and the middle come up.
TEST(PowerLossDiskTest, DrawnOutcomesArePrefixesOrWholeSectors) {
  std::mt19937 random(7);
  {
    const PowerLossDisk disk = Replayed({{"D/a", "old"}}, {Write("D/a", "abc", 3), Write("D/a", "def", 6)});
    std::set<std::string> seen;
    for (int draw = 0; draw < 300; ++draw) seen.insert(disk.After(Outcome::kPrefixes, random).files.at("D/a"));
    std::set<std::string> prefixes;
    for (std::size_t n = 3; n <= 9; ++n) prefixes.insert(std::string("oldabcdef").substr(0, n));
    EXPECT_EQ(seen, prefixes);
  }
  {
    const std::size_t sector = PowerLossDisk::kSector;
    const PowerLossDisk disk =
        Replayed({{"D/a", std::string(3 * sector, 'o')}}, {Write("D/a", std::string(4 * sector, 'n'))});
    std::set<std::string> patterns;
    for (int draw = 0; draw < 300; ++draw) {
      const std::string bytes = disk.After(Outcome::kSectors, random).files.at("D/a");
      ASSERT_TRUE(bytes.size() == 3 * sector || bytes.size() == 4 * sector) << bytes.size();
      std::string pattern;
      for (std::size_t s = 0; s * sector < bytes.size(); ++s) {
        const std::string part = bytes.substr(s * sector, sector);
        const char c = part[0];
        ASSERT_EQ(part, std::string(sector, c)) << "sector " << s << " torn";
        // Past the old end a sector is new or never written.
        ASSERT_TRUE(c == 'n' || c == (s < 3 ? 'o' : '\0')) << "sector " << s;
        pattern += c ? c : '0';
      }
      patterns.insert(pattern);
    }
    EXPECT_TRUE(patterns.count("ooo") && patterns.count("nnnn") && patterns.count("ooo0")) << patterns.size();
    EXPECT_GE(patterns.size(), 10u);
  }
}

TEST(PowerLossDiskTest, AJournalReadsBackAndDropsAChangeCutShort) {
  const platform::FileChange write{FileOp::kWrite, "/r/D/a", {}, 12, std::string_view("\0x\n", 3)};
  const platform::FileChange rename{FileOp::kRename, "/r/D/a.new", "/r/D/a"};
  const std::string journal = EncodeChange(write) + EncodeChange(rename);
  const std::vector<RecordedChange> back = DecodeJournal(journal);
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].op, FileOp::kWrite);
  EXPECT_EQ(back[0].path, "/r/D/a");
  EXPECT_EQ(back[0].offset, 12u);
  EXPECT_EQ(back[0].data, std::string("\0x\n", 3));
  EXPECT_EQ(back[1].to, "/r/D/a");
  EXPECT_EQ(DecodeJournal(std::string_view(journal).substr(0, journal.size() - 1)).size(), 1u);
}

}  // namespace
}  // namespace epd::testing_support
