#include <gtest/gtest.h>

#include <filesystem>
#include <string>
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

}  // namespace
}  // namespace epd::platform
