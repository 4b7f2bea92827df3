// The automatic pass through the exported ExportNewEPD.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export/export_driver.h"
#include "export/test_host.h"
#include "platform/files.h"
#include "platform/text.h"

namespace epd::exporter {
namespace {

using testing_support::Mapping;
using testing_support::Row;
using testing_support::TestHost;

const dbf::TDBFFieldDefs kListColumns = {{"CATTYP", 'C', 2, 0}, {"IDMSG", 'N', 10, 0}};

// A host with invoices 1, 2 and 3 and the list of waiting invoices given.
void MakeHost(TestHost& host, const std::vector<Row>& waiting, const std::string& options = "bAutoExportEPD=1\n") {
  host.CreateTables();
  for (int id : {1, 2, 3}) host.AddInvoice(id, {}, 1);
  TestHost::Create(host.epd() + "epdct.dbf", kListColumns);
  TestHost::Create(host.epd() + "epdbd.dbf", testing_support::HostLineColumns());
  TestHost::Append(host.epd() + "epdct.dbf", waiting);
  // Without the IDMSG mapping nothing asks, and each pass of an invoice appends it.
  host.Settings(options, Mapping({{"IDMSG", "name=IDMSG\nlength=10\ntype=нет\n"_cp},
                                  {"MSGNUM", "name=MSGNUM\nlength=10\ntype=ftInteger\n"}}));
}

std::vector<std::string> ExportedIds(const TestHost& host) {
  std::vector<std::string> ids;
  if (!platform::FileExists(host.out() + "cat_epd.dbf")) return ids;
  for (const Row& r : TestHost::Rows(host.out() + "cat_epd.dbf"))
    ids.push_back(std::to_string(std::stoi(r.at("MSGNUM")) - 500));
  return ids;
}

TEST(ExportNewEPD, ExportsEveryRowButDeliveryTypeDrInTableOrder) {
  TestHost host;
  MakeHost(host, {{{"CATTYP", "OR"}, {"IDMSG", "3"}},
                  {{"CATTYP", "DR"}, {"IDMSG", "2"}},
                  {{"CATTYP", "OR"}, {"IDMSG", "1"}},
                  {{"CATTYP", ""}, {"IDMSG", "3"}}});
  std::vector<PassProgress> seen;
  SetPassObserver([&](const PassProgress& p) { seen.push_back(p); });
  EXPECT_TRUE(::ExportNewEPD());
  SetPassObserver(nullptr);
  EXPECT_EQ(ExportedIds(host), (std::vector<std::string>{"3", "1", "3"}));
  EXPECT_TRUE(host.boxes.empty());
  EXPECT_EQ(host.Delivered(2), "0");
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[0].total, 3);
  EXPECT_EQ(seen[0].id_msg, 3);
  EXPECT_FALSE(seen[0].finished);
  EXPECT_TRUE(seen[5].finished);
  EXPECT_TRUE(seen[5].exported);
  EXPECT_EQ(seen[5].done, 3);
}

TEST(ExportNewEPD, DoesNotRunWhenOffOrATableIsMissing) {
  struct Case {
    const char* name;
    const char* options;
    const char* remove;
  } cases[] = {{"switched off", "bAutoExportEPD=0\n", ""},
               {"epdct.dbf missing", "bAutoExportEPD=1\n", "epdct.dbf"},
               {"epdbd.dbf missing", "bAutoExportEPD=1\n", "epdbd.dbf"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestHost host;
    MakeHost(host, {{{"CATTYP", "OR"}, {"IDMSG", "1"}}}, c.options);
    if (*c.remove) platform::RemoveFile(host.epd() + c.remove);
    int opened = 0;
    platform::SetFaultHook([&](platform::FileOp op, std::string_view, std::uint64_t, std::size_t) {
      opened += op == platform::FileOp::kOpen || op == platform::FileOp::kCreate;
      return false;
    });
    EXPECT_FALSE(::ExportNewEPD());
    platform::SetFaultHook(nullptr);
    EXPECT_EQ(opened, 0);
    EXPECT_TRUE(host.boxes.empty());
    EXPECT_TRUE(ExportedIds(host).empty());
  }
}

TEST(ExportNewEPD, AnEmptyListRunsToTheEnd) {
  TestHost host;
  MakeHost(host, {});
  EXPECT_TRUE(::ExportNewEPD());
  EXPECT_TRUE(ExportedIds(host).empty());
  EXPECT_TRUE(host.boxes.empty());
}

TEST(ExportNewEPD, FailuresOfSingleInvoicesDoNotStopThePass) {
  TestHost host;
  MakeHost(host, {{{"CATTYP", "OR"}, {"IDMSG", "9"}}, {{"CATTYP", "OR"}, {"IDMSG", "2"}}});
  EXPECT_TRUE(::ExportNewEPD());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "Не найден заголовок накладной"_cp);
  EXPECT_EQ(ExportedIds(host), (std::vector<std::string>{"2"}));
}

TEST(ExportNewEPD, AnUnreadableListIsReported) {
  TestHost host;
  MakeHost(host, {});
  testing_support::WriteFile(host.epd() + "epdct.dbf", "garbage");
  EXPECT_FALSE(::ExportNewEPD());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("epdct.dbf"), std::string::npos);
}

}  // namespace
}  // namespace epd::exporter
