// The DBF writer on Windows: the replace-in-one-step through MoveFileEx and Cyrillic folders
// through the wide APIs.
#include <gtest/gtest.h>

#include <string>

#include "dbf/dbf_writer.h"
#include "platform/files.h"
#include "platform/test_support.h"
#include "platform/text.h"

namespace epd::dbf {
namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

TEST(OutputWinTest, WriterReplacesAFileAnotherHandleHasOpen) {
  TempDir dir;
  const std::string folder = dir.path() + "Экспорт"_cp;
  platform::MakeDirectory(folder);
  const std::string path = folder + "\\Накл.dbf"_cp;
  ASSERT_TRUE(CreateDBFFile(path, 5, 0, {TDBFField{"A", 'C', 5, 0}}));
  {
    auto reader = platform::OpenFile(path, platform::FileMode::kRead);
    ASSERT_TRUE(CreateDBFFile(path, 3, 0, {TDBFField{"NOTE", 'M', 10, 0}}));
  }
  const std::string bytes = ReadFile(path);
  ASSERT_EQ(bytes.size(), 66u);
  EXPECT_EQ(bytes[0], '\x83');
  EXPECT_EQ(ReadFile(folder + "\\Накл.DBT"_cp).substr(8, 4), "\xCD\xE0\xEA\xEB");  // "Накл" in 1251
  EXPECT_FALSE(platform::FileExists(path + ".new"));
}

}  // namespace
}  // namespace epd::dbf
