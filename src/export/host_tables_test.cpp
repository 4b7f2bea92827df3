// The export never writes into the host's own invoice tables: an export directory that is their
// folder (as spelled, or through a symbolic link), or an output file that is one of them (a hard
// link), is refused before anything is written, in every file-name mode, single exports and the
// automatic pass alike, with Yes answered to the replace question that would otherwise delete
// from them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "export/test_host.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/text.h"

namespace epd::exporter {
namespace {

namespace fs = std::filesystem;
using testing_support::TestHost;

std::map<std::string, std::string> HostFiles(const TestHost& host) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(platform::SystemPath(host.epd())))
    files[e.path().filename().string()] = testing_support::ReadFile(platform::Utf8ToCp1251(e.path().string()));
  return files;
}

// The names of the host's files that are not as they were (all of them compared byte for byte).
std::string Changed(const std::map<std::string, std::string>& before, const std::map<std::string, std::string>& now) {
  std::string names;
  for (const auto& [name, bytes] : now)
    if (!before.count(name) || before.at(name) != bytes) names += name + " ";
  for (const auto& [name, bytes] : before)
    if (!now.count(name)) names += name + " (gone) ";
  return names;
}

struct Mode {
  const char* name;
  const char* settings;
  const char* first_output;  // the name of the first output file of invoice 5
};
const Mode kModes[] = {
    {"two files", "", "cat_epd.dbf"},
    {"manyfiles", "manyfiles=1\n", "h5.dbf"},
    {"singlefile", "singlefile=1\n", "Nakl.dbf"},
    {"singlefile and manyfiles", "singlefile=1\nmanyfiles=1\n", "5.dbf"},
};

enum class Where { kHostFolder, kLinkToIt, kHardLinkedOutput };

void ExpectRefused(Where where) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    TestHost host;
    host.CreateTables();
    host.AddInvoice(5, {}, 2);  // the one waiting in epdct.dbf
    testing_support::WriteFile(host.epd() + "epdct.dbf", testing_support::ReadFile(host.epd() + "cat_epd.dbf"));
    testing_support::WriteFile(host.epd() + "epdbd.dbf", testing_support::ReadFile(host.epd() + "body_epd.dbf"));
    host.AddInvoice(4, {}, 2);
    std::string export_dir = host.out();
    switch (where) {
      case Where::kHostFolder: export_dir = host.base() + "orders\\epd\\"; break;  // another spelling
      case Where::kLinkToIt:
        fs::create_directory_symlink(platform::SystemPath(host.epd()), platform::SystemPath(host.base()) + "/EPDLINK");
        export_dir = host.base() + "EPDLINK\\";
        break;
      case Where::kHardLinkedOutput:
        fs::create_hard_link(platform::SystemPath(host.epd() + "cat_epd.dbf"),
                             platform::SystemPath(host.out()) + "/" + mode.first_output);
        break;
    }
    host.Settings(std::string("Export_Dir=") + export_dir + "\nbAutoExportEPD=1\n" + mode.settings);
    host.answer_yes = true;
    const auto before = HostFiles(host);

    EXPECT_FALSE(host.Export(5));
    ASSERT_EQ(host.boxes.size(), 1u) << testing_support::BoxTexts(host);
    EXPECT_EQ(host.boxes[0].kind, 0);
    EXPECT_NE(host.boxes[0].text.find("самой программы"_cp), std::string::npos) << testing_support::BoxTexts(host);
    host.boxes.clear();
    EXPECT_TRUE(::ExportNewEPD());
    EXPECT_EQ(host.boxes.size(), 1u) << testing_support::BoxTexts(host);
    EXPECT_EQ(Changed(before, HostFiles(host)), "");
    EXPECT_EQ(host.Delivered(5), "0");
  }
}

TEST(HostTables, AnExportDirectoryThatIsTheHostsFolderIsRefused) { ExpectRefused(Where::kHostFolder); }
TEST(HostTables, ALinkToTheHostsFolderIsRefused) { ExpectRefused(Where::kLinkToIt); }
TEST(HostTables, AnOutputThatIsAHardLinkOfAHostTableIsRefused) { ExpectRefused(Where::kHardLinkedOutput); }

}  // namespace
}  // namespace epd::exporter
