// The automatic pass through the exported ExportNewEPD.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "export/export_driver.h"
#include "export/test_host.h"
#include "platform/files.h"
#include "platform/text.h"
#include "tables/scan_cache.h"

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
  EXPECT_EQ(seen[5].outcome.what, Outcome::kExported);
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
  std::vector<ExportOutcome> outcomes;
  SetPassObserver([&](const PassProgress& p) {
    if (p.finished) outcomes.push_back(p.outcome);
  });
  EXPECT_TRUE(::ExportNewEPD());
  SetPassObserver(nullptr);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "Не найден заголовок накладной"_cp);
  EXPECT_EQ(ExportedIds(host), (std::vector<std::string>{"2"}));
  // The observer hears each invoice's outcome, a failure with the text the user was shown.
  ASSERT_EQ(outcomes.size(), 2u);
  EXPECT_EQ(outcomes[0].what, Outcome::kFailed);
  EXPECT_EQ(outcomes[0].message, host.boxes[0].text);
  EXPECT_EQ(outcomes[1].what, Outcome::kExported);
}

TEST(ExportNewEPD, AnUnreadableListIsReported) {
  TestHost host;
  MakeHost(host, {});
  testing_support::WriteFile(host.epd() + "epdct.dbf", "garbage");
  EXPECT_FALSE(::ExportNewEPD());
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("epdct.dbf"), std::string::npos);
}

// The bytes of a dBASE III table's records, as another program sees them.
struct RawTable {
  std::string bytes;
  std::size_t header = 0, record = 0;
  explicit RawTable(std::string b) : bytes(std::move(b)) {
    header = static_cast<unsigned char>(bytes[8]) | (static_cast<unsigned char>(bytes[9]) << 8);
    record = static_cast<unsigned char>(bytes[10]) | (static_cast<unsigned char>(bytes[11]) << 8);
  }
  std::size_t Count() const { return (bytes.size() - header) / record; }
  std::string_view IdMsg(std::size_t i) const { return std::string_view(bytes).substr(header + i * record + 1, 10); }
};

// The pass reads each host table once: later invoices' queries and delivery marks are served by
// the scan cache, which neither the marks nor the appends to the outputs drop. A table that
// another program changes in place during the pass is read again; one it appends to is followed
// (only the new record is read); either way the next invoices come out of it as it is now.
TEST(ExportNewEPD, HostTablesAreReadOnceUnlessAnotherProgramChangesThem) {
  tables::ScanCache& cache = tables::ScanCache::Instance();
  cache.Clear();
  cache.SetLimits(1u << 20, 32u << 20, /*min_records=*/1);  // these small tables are recorded too
  TestHost host;
  host.CreateTables();
  std::vector<Row> waiting;
  for (int id = 1; id <= 6; ++id) {
    host.AddInvoice(id, {}, 3);
    waiting.push_back({{"CATTYP", "OR"}, {"IDMSG", std::to_string(id)}});
  }
  TestHost::Create(host.epd() + "epdct.dbf", kListColumns);
  TestHost::Create(host.epd() + "epdbd.dbf", testing_support::HostLineColumns());
  TestHost::Append(host.epd() + "epdct.dbf", waiting);
  host.Settings("bAutoExportEPD=1\n");
  const std::string body = host.epd() + "body_epd.dbf";

  const tables::ScanCache::Stats before = cache.stats();
  // The other program acts between two invoices: before the next one starts.
  SetPassObserver([&](const PassProgress& p) {
    if (p.finished) return;
    RawTable t(testing_support::ReadFile(body));
    if (p.id_msg == 3) {
      // The first line of invoice 6 becomes one of invoice 3: same size, a later modification time.
      for (std::size_t i = 0; i < t.Count(); ++i)
        if (t.IdMsg(i) == "         6") {
          t.bytes.replace(t.header + i * t.record + 1, 10, "         3");
          break;
        }
      const auto when = std::filesystem::last_write_time(platform::SystemPath(body));
      testing_support::WriteFile(body, t.bytes);
      std::filesystem::last_write_time(platform::SystemPath(body), when + std::chrono::seconds(5));
    } else if (p.id_msg == 5) {
      // A line added to invoice 5: a copy of its first line, counted in the header.
      for (std::size_t i = 0; i < t.Count(); ++i)
        if (t.IdMsg(i) == "         5") {
          const std::string line = t.bytes.substr(t.header + i * t.record, t.record);
          t.bytes.insert(t.header + t.Count() * t.record, line);
          break;
        }
      const std::uint32_t count = static_cast<std::uint32_t>(t.Count());
      for (int k = 0; k < 4; ++k) t.bytes[4 + k] = static_cast<char>(count >> (8 * k));
      testing_support::WriteFile(body, t.bytes);
    }
  });
  EXPECT_TRUE(::ExportNewEPD());
  SetPassObserver(nullptr);
  const tables::ScanCache::Stats after = cache.stats();
  cache.SetLimits(1u << 20, 32u << 20, 2048);
  cache.Clear();

  EXPECT_TRUE(host.boxes.empty());
  std::map<std::string, int> lines;
  for (const Row& r : TestHost::Rows(host.out() + "body_epd.dbf")) ++lines[r.at("IDMSG")];
  EXPECT_EQ(lines, (std::map<std::string, int>{{"1", 3}, {"2", 3}, {"3", 4}, {"4", 3}, {"5", 4}, {"6", 2}}));
  // Recorded: cat_epd.dbf once, body_epd.dbf at first and after the change in place; dropped:
  // the entry of the file changed in place; followed: the append. Served: every header query but
  // the first, every line query but the first and the one after the change in place, and the six
  // delivery marks. The six invoices form one group, whose records the outputs count only at its
  // end: the searches for an earlier copy find an empty output, which is not worth recording.
  EXPECT_EQ(after.stores - before.stores, 3u);
  EXPECT_EQ(after.drops - before.drops, 1u);
  EXPECT_EQ(after.grows - before.grows, 1u);
  EXPECT_EQ(after.hits - before.hits, 15u);
}

}  // namespace
}  // namespace epd::exporter
