#include "config/host_folders.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "platform/test_support.h"

namespace epd::config {
namespace {

// A host with its folder of invoice tables, and a folder beside it for the exports.
class HostFoldersTest : public ::testing::Test {
 protected:
  HostFoldersTest() {
    platform::MakeDirectory(base() + "ORDERS");
    platform::MakeDirectory(base() + "ORDERS\\EPD");
    platform::MakeDirectory(base() + "OUT");
    for (std::string_view table : kHostTables) testing_support::WriteFile(epd() + std::string(table), "table");
  }
  const std::string& base() const { return dir_.path(); }
  std::string epd() const { return base() + "ORDERS\\EPD\\"; }
  static std::filesystem::path Native(const std::string& path) { return platform::SystemPath(path); }

  testing_support::TempDir dir_;
};

TEST_F(HostFoldersTest, TheHostsInvoiceFolderIsNoExportDirectory) {
  struct Case {
    std::string directory;
    bool refused;
  } cases[] = {
      {epd(), true},
      {base() + "ORDERS\\EPD", true},
      {base() + "ORDERS\\.\\EPD\\", true},
      {base() + "OUT\\", false},
      {base() + "ORDERS\\", false},
      {base() + "MISSING\\", false},
      {"", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.directory);
    const std::optional<std::string> why = WhyNotAnExportDirectory(c.directory, base());
    EXPECT_EQ(why.has_value(), c.refused);
    if (why) {
      EXPECT_NE(why->find(c.directory), std::string::npos) << *why;
    }
  }
  EXPECT_FALSE(WhyNotAnExportDirectory(epd(), ""));
}

TEST_F(HostFoldersTest, NoOutputFileIsOneOfTheHostsTablesOrLiesBesideThem) {
  struct Case {
    std::string path;
    bool refused;
  } cases[] = {
      {epd() + "cat_epd.dbf", true},        {epd() + "epdbd.dbf", true},
      {epd() + "h12345.dbf", true},  // a new file in the host's folder
      {base() + "OUT\\cat_epd.dbf", false}, {base() + "OUT\\77\\b1.dbf", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::optional<std::string> why = WhyNotAnOutputFile(c.path, base());
    EXPECT_EQ(why.has_value(), c.refused);
    if (why) {
      EXPECT_NE(why->find(c.path), std::string::npos) << *why;
    }
  }
}

#ifndef _WIN32
// Another spelling of the same place is the same place: a link to the folder, a hard link of a
// table, the folder's name in other letter case.
TEST_F(HostFoldersTest, IdentityNotTheNameDecides) {
  std::filesystem::create_directory_symlink(Native(base() + "ORDERS\\EPD"), Native(base() + "LINK"));
  std::filesystem::create_hard_link(Native(epd() + "body_epd.dbf"), Native(base() + "OUT\\body_epd.dbf"));
  EXPECT_TRUE(WhyNotAnExportDirectory(base() + "LINK\\", base()));
  EXPECT_TRUE(WhyNotAnExportDirectory(base() + "orders\\epd\\", base()));
  EXPECT_TRUE(WhyNotAnOutputFile(base() + "OUT\\body_epd.dbf", base()));
  EXPECT_FALSE(WhyNotAnOutputFile(base() + "OUT\\cat_epd.dbf", base()));
}
#endif

}  // namespace
}  // namespace epd::config
