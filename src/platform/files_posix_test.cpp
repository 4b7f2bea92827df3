#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/test_support.h"
#include "platform/text.h"

namespace epd::platform {
namespace {

TEST(PosixPathsTest, BackslashPathsFindComponentsWhateverTheirLetterCase) {
  testing_support::TempDir dir;
  std::string native = SystemPath(dir.path());
  std::filesystem::create_directories(native + "/ORDERS/EPD");
  std::filesystem::create_directories(native + "/Данные");
  testing_support::WriteFile(dir.path() + "ORDERS\\EPD\\CAT_EPD.DBF", "x");
  EXPECT_TRUE(FileExists(dir.path() + "orders\\epd\\cat_epd.dbf"));
  EXPECT_TRUE(DirectoryExists(dir.path() + "Orders\\Epd\\"));
  EXPECT_TRUE(DirectoryExists(dir.path() + "ДАННЫЕ"_cp));
  EXPECT_EQ(SystemPath(dir.path() + "orders\\epd\\cat_epd.dbf"), native + "/ORDERS/EPD/CAT_EPD.DBF");
  // A new file in an existing folder keeps the folder's spelling on disk and its own name.
  testing_support::WriteFile(dir.path() + "orders\\epd\\Nakl.dbf", "y");
  EXPECT_TRUE(std::filesystem::exists(native + "/ORDERS/EPD/Nakl.dbf"));
  // An existing file of another letter case is the same file, as on Windows.
  testing_support::WriteFile(dir.path() + "orders\\epd\\cat_epd.dbf", "z");
  EXPECT_EQ(testing_support::ReadFile(dir.path() + "ORDERS\\EPD\\CAT_EPD.DBF"), "z");
  EXPECT_FALSE(std::filesystem::exists(native + "/ORDERS/EPD/cat_epd.dbf"));
}

TEST(PosixPathsTest, BareNamesAreNeverLookedUp) {
  EXPECT_FALSE(FileExists("export_epd.ini"));
  EXPECT_THROW(OpenFile("export_epd.ini", FileMode::kCreate), Error);
  EXPECT_TRUE(IsBareName("export_epd.ini"));
  EXPECT_FALSE(IsBareName("C:export_epd.ini"));
}

TEST(PosixPathsTest, ErrorsNameTheFile) {
  testing_support::TempDir dir;
  try {
    OpenFile(dir.path() + "missing.dbf", FileMode::kRead);
    FAIL();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(dir.path() + "missing.dbf"), std::string::npos);
  }
}

// A directory is synced by its program's spelling; one that is not there, or a refused sync,
// raises naming it.
TEST(PosixPathsTest, SyncDirectoryFindsTheFolderAndNamesItWhenItFails) {
  testing_support::RealDiskSyncs real;
  testing_support::TempDir dir;
  std::filesystem::create_directories(SystemPath(dir.path()) + "/OUT");
  EXPECT_NO_THROW(SyncDirectory(dir.path() + "out"));
  for (bool injected : {false, true}) {
    if (injected)
      SetFaultHook(
          [](FileOp op, std::string_view, std::uint64_t, std::size_t) { return op == FileOp::kSyncDirectory; });
    const std::string path = dir.path() + (injected ? "OUT" : "missing");
    try {
      SyncDirectory(path);
      ADD_FAILURE() << path;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    SetFaultHook(nullptr);
  }
}

// The file observer names a file as it is on disk, whatever the spelling that reached it: a
// record of changes holds one name per file.
TEST(PosixPathsTest, TheFileObserverNamesAFileAsItIsOnDisk) {
  testing_support::TempDir dir;
  std::filesystem::create_directories(SystemPath(dir.path()) + "/OUT");
  testing_support::WriteFile(dir.path() + "OUT\\Nakl.dbf", "x");
  std::vector<std::string> paths;
  SetFileObserver([&](const FileChange& c) { paths.emplace_back(c.path); });
  OpenFile(dir.path() + "out\\NAKL.DBF", FileMode::kReadWrite)->WriteAt(1, "y", 1);
  OpenFile(dir.path() + "out\\nakl.dbf", FileMode::kCreate)->Sync();
  SetFileObserver(nullptr);
  const std::string native = SystemPath(dir.path()) + "/OUT/Nakl.dbf";
  EXPECT_EQ(paths, (std::vector<std::string>{native, native, native}));
}

// Another program's change lands in a later tick of the file system's clock than the listing it
// must outdate, as it does unless both come within a few milliseconds; on this kernel's file
// systems even that would show, but not on every one.
void NextTick() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

// A name looked for in another letter case after another program changed the folder: the
// lookup answers the folder as it is now, not as it was listed.
TEST(PosixPathsTest, LookupsSeeWhatAnotherProgramDidToTheFolder) {
  namespace fs = std::filesystem;
  struct Case {
    const char* name;
    std::vector<const char*> before;  // files in OUT
    std::function<void(const fs::path& out)> change;
    std::vector<std::pair<const char*, bool>> after;  // names looked up, whether found
  };
  const Case cases[] = {
      {"adds a file in upper case",
       {},
       [](const fs::path& out) { std::ofstream(out / "H1.DBF") << "x"; },
       {{"h1.dbf", true}, {"h2.dbf", false}}},
      {"removes one",
       {"H1.DBF", "H2.DBF"},
       [](const fs::path& out) { fs::remove(out / "H1.DBF"); },
       {{"h1.dbf", false}, {"h2.dbf", true}}},
      {"renames one",
       {"H1.DBF"},
       [](const fs::path& out) { fs::rename(out / "H1.DBF", out / "G1.DBF"); },
       {{"h1.dbf", false}, {"g1.dbf", true}}},
      {"puts another folder in its place",
       {"A.DBF"},
       [](const fs::path& out) {
         fs::rename(out, out.parent_path() / "OLD");
         fs::create_directory(out);
         std::ofstream(out / "X.DBF") << "x";
       },
       {{"a.dbf", false}, {"x.dbf", true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TempDir dir;
    const fs::path out = fs::path(SystemPath(dir.path())) / "OUT";
    fs::create_directory(out);
    for (const char* file : c.before) std::ofstream(out / file) << "x";
    // Listed now: every name of the cases looked for once, found or not.
    for (const auto& [name, found] : c.after) FileExists(dir.path() + "out\\" + name);
    NextTick();
    c.change(out);
    for (const auto& [name, found] : c.after) EXPECT_EQ(FileExists(dir.path() + "out\\" + name), found) << name;
  }
}

// The library's own creations, renames and removals keep what is known of the folder: a name
// not there costs no listing, however many files the folder holds and however often it changes.
TEST(PosixPathsTest, OwnChangesNeedNoNewListing) {
  testing_support::TempDir dir;
  const std::string out = dir.path() + "OUT\\";
  MakeDirectory(dir.path() + "OUT");
  for (int i = 0; i < 300; ++i) testing_support::WriteFile(out + "OLD" + std::to_string(i) + ".DBF", "x");
  EXPECT_FALSE(FileExists(out + "h0.dbf"));
  const std::uint64_t listed = DirectoryListings();
  for (int i = 1; i <= 50; ++i) {
    const std::string n = std::to_string(i);
    EXPECT_FALSE(FileExists(out + "h" + n + ".dbf"));
    OpenFile(out + "h" + n + ".dbf.new", FileMode::kCreate);
    RenameFile(out + "h" + n + ".dbf.new", out + "h" + n + ".dbf");
    EXPECT_TRUE(FileExists(out + "H" + n + ".DBF"));
    EXPECT_FALSE(FileExists(out + "H" + n + ".DBF.NEW"));
    EXPECT_TRUE(FileExists(out + "old" + n + ".dbf"));
  }
  RemoveFile(out + "H7.dbf");
  EXPECT_FALSE(FileExists(out + "h7.DBF"));
  MakeDirectory(out + "77");
  EXPECT_TRUE(DirectoryExists(out + "77"));
  // At most one listing more: one taken right after the folder changed is taken again once the
  // file system's clock has moved on, should the pass take that long.
  EXPECT_LE(DirectoryListings() - listed, 1u);
  EXPECT_EQ(SystemPath(out + "H1.DBF"), SystemPath(dir.path()) + "/OUT/h1.dbf");
}

}  // namespace
}  // namespace epd::platform
