// Whole invoices only: a failure after an invoice's records were appended takes them all back,
// through ExportEPD on temporary host directories.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "export/test_host.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/text.h"

namespace epd::exporter {
namespace {

using testing_support::BoxTexts;
using testing_support::Row;
using testing_support::TestHost;

constexpr int kId = 12345;

std::vector<Row> Rows(const std::string& path) { return TestHost::Rows(path); }

// Fails the `nth` write (from 1) to any file whose path ends in `suffix`; `fired` tells whether
// it came to that.
platform::FaultHook FailNthWrite(std::string suffix, int nth, std::shared_ptr<bool> fired = nullptr) {
  auto count = std::make_shared<int>(0);
  return [suffix, nth, count, fired](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
    if (op != platform::FileOp::kWrite) return false;
    if (path.size() < suffix.size() || !platform::EqualsIgnoreCase(path.substr(path.size() - suffix.size()), suffix))
      return false;
    if (++*count != nth) return false;
    if (fired) *fired = true;
    return true;
  };
}

// A failure after records were appended takes them all back: the output files are as they were
// before, byte for byte, whichever write of the invoice fails.
TEST(ExportDriver, AFailedWriteTakesBackTheWholeInvoice) {
  for (const char* mode : {"singlefile=0\n", "singlefile=1\n"}) {
    const bool single = std::string(mode) == "singlefile=1\n";
    const std::string header_file = single ? "Nakl.dbf" : "cat_epd.dbf";
    const std::string line_file = single ? "Nakl.dbf" : "body_epd.dbf";
    int failures = 0;
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE(std::string(mode) + " write " + std::to_string(nth));
      TestHost host;
      host.CreateTables();
      host.AddInvoice(7, {}, 2);
      host.AddInvoice(kId, {}, 6);
      host.Settings(mode);
      ASSERT_TRUE(host.Export(7));
      const std::string header_before = testing_support::ReadFile(host.out() + header_file);
      const std::string line_before = testing_support::ReadFile(host.out() + line_file);

      auto fired = std::make_shared<bool>(false);
      platform::SetFaultHook(FailNthWrite("OUT\\" + line_file, nth, fired));
      const bool exported = host.Export(kId);
      platform::SetFaultHook(nullptr);
      if (!*fired) {  // past the invoice's last write
        EXPECT_TRUE(exported);
        break;
      }
      ++failures;
      EXPECT_FALSE(exported);
      ASSERT_EQ(host.boxes.size(), 1u);
      EXPECT_NE(host.boxes[0].text.find(line_file), std::string::npos) << BoxTexts(host);
      EXPECT_NE(host.boxes[0].text.find("удалены"_cp), std::string::npos) << BoxTexts(host);
      EXPECT_EQ(host.Delivered(kId), "0");
      EXPECT_EQ(testing_support::ReadFile(host.out() + line_file), line_before);
      EXPECT_EQ(testing_support::ReadFile(host.out() + header_file), header_before);

      // A retry then finds no half invoice and asks nothing.
      host.boxes.clear();
      ASSERT_TRUE(host.Export(kId)) << BoxTexts(host);
      EXPECT_TRUE(host.boxes.empty()) << BoxTexts(host);
      EXPECT_EQ(TestHost::Rows(host.out() + line_file).size(), 8u);
    }
    EXPECT_GE(failures, 2);  // the records, then the header that counts them
  }
}

TEST(ExportDriver, AFailedDeliveryMarkTakesBackTheInvoice) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 3);
  host.Settings("");
  const std::string host_table = testing_support::ReadFile(host.epd() + "cat_epd.dbf");
  platform::SetFaultHook(FailNthWrite("ORDERS\\EPD\\cat_epd.dbf", 1));
  EXPECT_FALSE(host.Export(kId));
  platform::SetFaultHook(nullptr);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("DLVCHN"), std::string::npos) << BoxTexts(host);
  EXPECT_EQ(testing_support::ReadFile(host.epd() + "cat_epd.dbf"), host_table);
  EXPECT_EQ(Rows(host.out() + "cat_epd.dbf").size(), 0u);
  EXPECT_EQ(Rows(host.out() + "body_epd.dbf").size(), 0u);
}

TEST(ExportDriver, AnOutputThatCannotBeOpenedIsReported) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 1);
  host.Settings("");
  testing_support::WriteFile(host.out() + "cat_epd.dbf", "not a table");
  EXPECT_FALSE(host.Export(kId));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find(host.out() + "cat_epd.dbf"), std::string::npos) << BoxTexts(host);
  EXPECT_EQ(host.Delivered(kId), "0");
}

}  // namespace
}  // namespace epd::exporter
