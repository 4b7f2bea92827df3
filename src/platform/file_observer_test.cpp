#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/test_disk.h"
#include "platform/test_support.h"

namespace epd::platform {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

// The observer is told each change with its bytes, in order, before it is made, by the path the
// system gives the file; reads and opens are not told, and nothing once it is unset.
TEST(FileObserverTest, EveryChangeIsToldWithItsBytesBeforeItIsMade) {
  testing_support::TempDir dir;
  const std::string path = dir.path() + "t.dbf", folder = dir.path() + "sub";
  WriteFile(path, "old");
  std::vector<std::string> told;
  std::string target_when_renamed;
  SetFileObserver([&](const FileChange& c) {
    told.push_back(std::string(testing_support::OpName(c.op)) + " " + std::string(c.path) +
                   (c.to.empty() ? "" : " > " + std::string(c.to)) + " " + std::to_string(c.offset) + " " +
                   std::string(c.data));
    if (c.op == FileOp::kRename) target_when_renamed = ReadFile(path);
  });
  {
    auto scratch = OpenFile(path + ".new", FileMode::kCreate);
    scratch->WriteAt(0, "new", 3);
    scratch->Sync();
  }
  RenameFile(path + ".new", path);
  ReadFile(path);
  OpenFile(path, FileMode::kReadWrite)->Truncate(2);
  MakeDirectory(folder);
  SyncDirectory(folder);
  RemoveFile(path);
  SetFileObserver(nullptr);
  WriteFile(path, "unseen");

  const std::string file = SystemPath(path), scratch = SystemPath(path + ".new"), sub = SystemPath(folder);
  EXPECT_EQ(told, (std::vector<std::string>{"create " + scratch + " 0 ", "write " + scratch + " 0 new",
                                            "sync " + scratch + " 0 ", "rename " + scratch + " > " + file + " 0 ",
                                            "truncate " + file + " 2 ", "create folder " + sub + " 0 ",
                                            "sync folder " + sub + " 0 ", "remove " + file + " 0 "}));
  EXPECT_EQ(target_when_renamed, "old");
}

}  // namespace
}  // namespace epd::platform
