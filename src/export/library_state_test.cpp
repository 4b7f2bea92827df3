#include "export/library_state.h"

#include <gtest/gtest.h>

#include "export_epd.h"
#include "platform/files.h"
#include "platform/test_support.h"

namespace epd::exporter {
namespace {

class InitializeTest : public ::testing::Test {
 protected:
  void WriteSettings(const std::string& content) {
    testing_support::WriteFile(host_.path() + "DATA\\export_epd.ini", content);
  }
  void SetUp() override { platform::MakeDirectory(host_.path() + "DATA"); }
  testing_support::TempDir host_;
};

TEST_F(InitializeTest, DirectoriesEndInABackslashWhateverTheArgument) {
  std::string base = host_.path().substr(0, host_.path().size() - 1);
  for (const std::string& arg : {base, base + "\\"}) {
    ASSERT_TRUE(::InitializeEPD(arg.c_str()));
    EXPECT_EQ(State().places.base_directory, base + "\\");
    EXPECT_EQ(State().places.orders_directory, base + "\\ORDERS\\");
    EXPECT_EQ(State().places.data_directory, base + "\\DATA\\");
  }
}

TEST_F(InitializeTest, ReadsEveryOptionWithItsDefault) {
  WriteSettings(
      "[EPD]\nExport_Dir=D:\\Out\nbDOScoding=1\nmanyfiles=1\nsinglefile=0\nseller=2\nbAutoExportEPD=1\n"
      "[Settings]\nbchangecncode=1\n");
  InitializeEPD(host_.path());
  const LibraryState& s = State();
  EXPECT_EQ(s.places.export_directory, "D:\\Out\\");
  EXPECT_TRUE(s.options.bDOScoding);
  EXPECT_TRUE(s.options.manyfiles);
  EXPECT_FALSE(s.options.singlefile);
  EXPECT_TRUE(s.options.seller);
  EXPECT_TRUE(s.options.bAutoExportEPD);
  EXPECT_TRUE(s.options.bchangecncode);
  EXPECT_EQ(s.options.charlength, 8);

  WriteSettings("[EPD]\nExport_Dir=D:\\Out\\\n");
  InitializeEPD(host_.path());
  EXPECT_EQ(State().places.export_directory, "D:\\Out\\");
  EXPECT_FALSE(State().options.bDOScoding);
}

TEST_F(InitializeTest, CharLength) {
  struct Case {
    const char* line;
    int expected;
  } cases[] = {{"", 8},
               {"charlength=\n", 8},
               {"charlength=abc\n", 8},
               {"charlength=5\n", 5},
               {"charlength=12\n", 12},
               {"charlength=300\n", 44},
               {"charlength=0\n", 0},
               {"charlength=-1\n", 255}};
  for (const Case& c : cases) {
    WriteSettings(std::string("[EPD]\n") + c.line);
    InitializeEPD(host_.path());
    EXPECT_EQ(State().options.charlength, c.expected) << c.line;
  }
}

TEST_F(InitializeTest, EmptyBaseOrExportDirectoryStaysEmpty) {
  WriteSettings("[EPD]\nExport_Dir=\nseller=1\n");
  InitializeEPD(host_.path());
  EXPECT_EQ(State().places.export_directory, "");
  EXPECT_TRUE(State().options.seller);
  InitializeEPD("");
  EXPECT_EQ(State().places.base_directory, "");
  EXPECT_EQ(State().places.orders_directory, "");
  EXPECT_EQ(State().places.data_directory, "");
  EXPECT_FALSE(State().options.seller);
  EXPECT_EQ(State().options.charlength, 8);
}

}  // namespace
}  // namespace epd::exporter
