#include "platform/replace_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/test_support.h"

namespace epd::platform {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
using InPlace = ReplaceOptions::InPlace;

class ReplaceFileTest : public ::testing::Test {
 protected:
  void TearDown() override { SetFaultHook(nullptr); }
  testing_support::TempDir dir_;
  std::string path_ = dir_.path() + "t.dbf";
  std::string scratch_ = path_ + ".new";
  std::string folder_ = dir_.path().substr(0, dir_.path().size() - 1);
};

TEST_F(ReplaceFileTest, TheScratchFileIsWrittenWholeBeforeItTakesTheName) {
  testing_support::RealDiskSyncs real;  // the system's own syncs of a file and a folder, once
  for (const bool sync : {false, true}) {
    SCOPED_TRACE(sync ? "sync" : "no sync");
    WriteFile(path_, "the old content, longer than the new one");
    std::vector<std::string> steps;
    SetFaultHook([&](FileOp op, std::string_view path, std::uint64_t, std::size_t) {
      const std::string name = path == path_ ? "target" : path == scratch_ ? "scratch" : std::string(path);
      switch (op) {
        case FileOp::kCreate: steps.push_back("create " + name); break;
        case FileOp::kWrite: steps.push_back("write " + name); break;
        case FileOp::kSync: steps.push_back("sync " + name); break;
        case FileOp::kSyncDirectory: steps.push_back("sync folder " + name); break;
        case FileOp::kRename: steps.push_back("rename to " + name); break;
        default: steps.push_back("other " + name); break;
      }
      return false;
    });
    ReplaceFile(path_, "new", ReplaceOptions{.sync = sync});
    SetFaultHook(nullptr);
    std::vector<std::string> expected = {"create scratch", "write scratch", "rename to target"};
    if (sync) {  // the content on the disk before the name, the name right after
      expected.insert(expected.begin() + 2, "sync scratch");
      expected.push_back("sync folder " + folder_);
    }
    EXPECT_EQ(steps, expected);
    EXPECT_EQ(ReadFile(path_), "new");
    EXPECT_FALSE(FileExists(scratch_));
  }
}

// Many files made in one folder, their names synced once: a batch gathers the folder syncs until
// it is flushed.
TEST_F(ReplaceFileTest, ABatchSyncsEachFolderOnceWhenFlushed) {
  std::vector<std::string> synced;
  SetFaultHook([&](FileOp op, std::string_view path, std::uint64_t, std::size_t) {
    if (op == FileOp::kSyncDirectory) synced.emplace_back(path);
    return false;
  });
  {
    DirectorySyncBatch batch;
    for (const char* name : {"a.dbf", "b.dbf"}) ReplaceFile(dir_.path() + name, "x", ReplaceOptions{.sync = true});
    EXPECT_TRUE(synced.empty());
    batch.Flush();
    EXPECT_EQ(synced, std::vector<std::string>{folder_});
    EXPECT_TRUE(batch.empty());
  }
  ReplaceFile(path_, "y", ReplaceOptions{.sync = true});  // no batch: at once
  EXPECT_EQ(synced.size(), 2u);
}

TEST_F(ReplaceFileTest, TheScratchSuffixIsTheCallers) {
  std::vector<std::string> created;
  SetFaultHook([&](FileOp op, std::string_view path, std::uint64_t, std::size_t) {
    if (op == FileOp::kCreate) created.emplace_back(path);
    return false;
  });
  ReplaceFile(path_, "new", ReplaceOptions{.scratch_suffix = ".~tmp"});
  EXPECT_EQ(created, std::vector<std::string>{path_ + ".~tmp"});
  EXPECT_EQ(ReadFile(path_), "new");
}

// Each option under each refusal: whether it raises, what the target then holds and whether a
// scratch file is left. `at` is "scratch", "target" (a rename is reported for its target) or
// "folder".
TEST_F(ReplaceFileTest, FailuresFollowTheOptions) {
  struct Case {
    const char* name;
    ReplaceOptions options;
    FileOp op;
    const char* at;
    bool target_exists;
    bool raises;
    const char* content;  // the target's afterwards; null: no target
    bool scratch_left;
  };
  const ReplaceOptions never{};
  const ReplaceOptions synced{.sync = true};
  const ReplaceOptions keep{.keep_scratch_after_failed_write = true};
  const ReplaceOptions rename_refused{.in_place = InPlace::kIfRenameRefused};
  const ReplaceOptions any{.in_place = InPlace::kAfterAnyFailure};
  const Case cases[] = {
      {"never: scratch not created", never, FileOp::kCreate, "scratch", true, true, "old", false},
      {"never: scratch not written", never, FileOp::kWrite, "scratch", true, true, "old", false},
      {"never: scratch not synced", synced, FileOp::kSync, "scratch", true, true, "old", false},
      {"synced: folder not synced after the rename", synced, FileOp::kSyncDirectory, "folder", true, true, "new",
       false},
      {"never: rename refused", never, FileOp::kRename, "target", true, true, "old", false},
      {"never: no target, rename refused", never, FileOp::kRename, "target", false, true, nullptr, false},
      {"keep: scratch not written", keep, FileOp::kWrite, "scratch", true, true, "old", true},
      {"keep: rename refused", keep, FileOp::kRename, "target", true, true, "old", false},
      {"rename refused: in place", rename_refused, FileOp::kRename, "target", true, false, "new", false},
      {"rename refused: no target", rename_refused, FileOp::kRename, "target", false, true, nullptr, false},
      {"rename refused: scratch not written", rename_refused, FileOp::kWrite, "scratch", true, true, "old", false},
      {"any: scratch not created", any, FileOp::kCreate, "scratch", false, false, "new", false},
      {"any: scratch not written", any, FileOp::kWrite, "scratch", true, false, "new", false},
      {"any: rename refused", any, FileOp::kRename, "target", true, false, "new", false},
      {"any: target not created either", any, FileOp::kCreate, "both", true, true, "old", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (FileExists(path_)) RemoveFile(path_);
    if (FileExists(scratch_)) RemoveFile(scratch_);
    if (c.target_exists) WriteFile(path_, "old");
    const std::string at = c.at;
    SetFaultHook([&](FileOp op, std::string_view path, std::uint64_t, std::size_t) {
      if (op != c.op) return false;
      return at == "both" || (at == "scratch" && path == scratch_) || (at == "target" && path == path_) ||
             (at == "folder" && path == folder_);
    });
    std::string error;
    try {
      ReplaceFile(path_, "new", c.options);
    } catch (const Error& e) {
      error = e.what();
    }
    SetFaultHook(nullptr);
    EXPECT_EQ(!error.empty(), c.raises) << error;
    if (c.raises) {  // the reason names the file of the step that failed
      const std::string& named = at == "scratch" ? scratch_ : at == "folder" ? folder_ : path_;
      EXPECT_NE(error.find(named), std::string::npos) << error;
    }
    if (c.content == nullptr) {
      EXPECT_FALSE(FileExists(path_));
    } else {
      EXPECT_EQ(ReadFile(path_), c.content);
    }
    EXPECT_EQ(FileExists(scratch_), c.scratch_left);
  }
}

}  // namespace
}  // namespace epd::platform
