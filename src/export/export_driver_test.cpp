// End-to-end tests of ExportEPD through the exported function, on temporary host directories.
#include "export/export_driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "export/test_host.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/text.h"
#include "sql/query.h"
#include "suppliers/supplier_tables.h"

namespace epd::exporter {
namespace {

using testing_support::BoxTexts;
using testing_support::Mapping;
using testing_support::Row;
using testing_support::TestHost;

constexpr int kId = 12345;

std::vector<Row> Rows(const std::string& path) { return TestHost::Rows(path); }

TEST(ExportDriver, TwoFileModeCopiesHeaderAndLinesAndMarksDelivered) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {{"SENDER", "ООО \"Ромашка\""_cp}}, 3);
  host.AddInvoice(7, {}, 2);
  host.Settings("");
  ASSERT_TRUE(host.Export(kId)) << BoxTexts(host);
  EXPECT_TRUE(host.boxes.empty()) << BoxTexts(host);

  auto headers = Rows(host.out() + "cat_epd.dbf");
  ASSERT_EQ(headers.size(), 1u);
  EXPECT_EQ(headers[0]["IDMSG"], "12345");
  EXPECT_EQ(headers[0]["MSGNUM"], "12845");
  EXPECT_EQ(headers[0]["SENDER"], "ООО \"Ромашка\""_cp);
  EXPECT_EQ(headers[0]["INVDT"], "15.03.2024");
  EXPECT_EQ(headers[0]["SUMTOT"], "1234,5");
  auto lines = Rows(host.out() + "body_epd.dbf");
  ASSERT_EQ(lines.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[i]["IDMSG"], "12345");
    EXPECT_EQ(lines[i]["ITEMID"], "Item " + std::to_string(i + 1));
    EXPECT_EQ(lines[i]["ITEMQTY"], std::to_string((i + 1) * 10));
    EXPECT_EQ(lines[i]["CATPRNV"], "12,5");
    EXPECT_EQ(lines[i]["USEBEFOR"], "01.12.2026");
    EXPECT_EQ(lines[i].count("SENDER"), 0u);  // header fields stay in the header file
  }
  EXPECT_EQ(host.Delivered(kId), "1");
  EXPECT_EQ(host.Delivered(7), "0");
}

// A row of the result table: message box, result, DLVCHN; and the outcome inside, with the file
// a failure names.
struct ResultCase {
  const char* name;
  std::function<void(TestHost&)> setup;
  bool result;
  std::string box;  // expected error text, "" for none
  bool delivered;
  Outcome outcome;
  std::string file;  // the end of the outcome's file
};

std::vector<ResultCase> ResultCases() {
  return {
      {"switch off",
       [](TestHost& h) {
         h.CreateTables();
         h.AddInvoice(kId, {}, 2);
         h.Settings("bExportEPD=0\n");
       },
       true, "", false, Outcome::kSwitchedOff, ""},
      {"switch missing",
       [](TestHost& h) {
         h.CreateTables();
         h.AddInvoice(kId, {}, 2);
         testing_support::WriteFile(h.data() + "export_epd.ini", "[EPD]\nExport_Dir=" + h.out() + "\n" + Mapping());
         ::InitializeEPD(h.base().c_str());
       },
       true, "", false, Outcome::kSwitchedOff, ""},
      {"source tables missing", [](TestHost& h) { h.Settings(""); }, false,
       std::string("Ошибка при открытии накладных"_cp), false, Outcome::kFailed, "ORDERS\\EPD\\cat_epd.dbf"},
      {"no header",
       [](TestHost& h) {
         h.CreateTables();
         h.AddInvoice(7, {}, 2);
         TestHost::Append(h.epd() + "body_epd.dbf", {{{"IDMSG", std::to_string(kId)}}});
         h.Settings("");
       },
       false, std::string("Не найден заголовок накладной"_cp), false, Outcome::kFailed, "EPD\\cat_epd.dbf"},
      {"no lines",
       [](TestHost& h) {
         h.CreateTables();
         h.AddInvoice(kId, {}, 0);
         h.AddInvoice(7, {}, 2);
         h.Settings("");
       },
       false, std::string("Не найдено содержание накладной"_cp), false, Outcome::kFailed, "EPD\\body_epd.dbf"},
      {"type DR",
       [](TestHost& h) {
         h.CreateTables();
         h.AddInvoice(kId, {{"CATTYP", "DR"}}, 2);
         h.Settings("");
       },
       false, "", false, Outcome::kDeliveryTypeDR, ""},
      {"output not created",
       [](TestHost& h) {
         h.CreateTables();
         h.AddInvoice(kId, {}, 2);
         h.Settings("Export_Dir=" + h.base() + "MISSING\\\n");
       },
       false, std::string("Ошибка создания файлов экспорта накладной"_cp), false, Outcome::kFailed,
       "MISSING\\cat_epd.dbf"},
      {"exported",
       [](TestHost& h) {
         h.CreateTables();
         h.AddInvoice(kId, {{"CATTYP", "dr"}}, 2);  // only "DR" exactly is never exported
         h.Settings("");
       },
       true, "", true, Outcome::kExported, ""},
  };
}

TEST(ExportDriver, ResultTable) {
  for (const ResultCase& c : ResultCases()) {
    SCOPED_TRACE(c.name);
    TestHost host;
    c.setup(host);
    EXPECT_EQ(host.Export(kId), c.result);
    if (c.box.empty()) {
      EXPECT_TRUE(host.boxes.empty()) << BoxTexts(host);
    } else {
      ASSERT_EQ(host.boxes.size(), 1u) << BoxTexts(host);
      EXPECT_EQ(host.boxes[0].kind, 0);
      EXPECT_EQ(host.boxes[0].text, c.box);
    }
    if (platform::FileExists(host.epd() + "cat_epd.dbf")) {
      const std::string delivered = host.Delivered(kId);  // "?" when the invoice has no header
      if (delivered != "?") {
        EXPECT_EQ(delivered, c.delivered ? "1" : "0");
      }
    }
    EXPECT_EQ(platform::FileExists(host.out() + "body_epd.dbf"), c.result && c.delivered);

    TestHost again;
    c.setup(again);
    const ExportOutcome outcome = ExportInvoice(kId);
    EXPECT_EQ(outcome.what, c.outcome);
    EXPECT_EQ(outcome.Succeeded(), c.result);
    EXPECT_EQ(outcome.message, c.box);
    EXPECT_TRUE(outcome.file.ends_with(c.file)) << outcome.file;
    EXPECT_EQ(again.boxes.size(), host.boxes.size());
  }
}

// The box of a failed creation keeps its fixed text; the outcome keeps which file and why: the
// folder that is not there, the level no writer takes, the supplier id that is no folder name.
TEST(ExportDriver, AFailedCreationKeepsItsReason) {
  struct Case {
    const char* name;
    std::string settings;
    std::string sender;
    std::string file;                    // the end of the outcome's file
    std::vector<std::string> cause_has;  // parts of the outcome's cause
  } cases[] = {
      {"export folder missing", "Export_Dir=<base>MISSING\\\n", "77", "MISSING\\cat_epd.dbf", {"MISSING"}},
      {"writer version 9", "[Settings]\nlevel=9\n", "77", "OUT\\cat_epd.dbf", {"Settings/level", "9"}},
      {"supplier id no folder name", "seller=1\n", "a|b", "cat_epd.dbf", {"idSender", "a|b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestHost host;
    auto header = testing_support::HostHeaderColumns();
    for (auto& column : header)
      if (column.Name == "IDSENDER") column = {"IDSENDER", 'C', 20, 0};
    host.CreateTables(header);
    host.AddInvoice(kId, {{"IDSENDER", c.sender}}, 2);
    std::string settings = c.settings;
    if (const std::size_t at = settings.find("<base>"); at != std::string::npos) settings.replace(at, 6, host.base());
    host.Settings(settings);
    const ExportOutcome outcome = ExportInvoice(kId);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Ошибка создания файлов экспорта накладной"_cp);
    EXPECT_EQ(outcome.what, Outcome::kFailed);
    EXPECT_EQ(outcome.message, host.boxes[0].text);
    EXPECT_TRUE(outcome.file.ends_with(c.file)) << outcome.file;
    for (const std::string& part : c.cause_has)
      EXPECT_NE(outcome.cause.find(part), std::string::npos) << platform::Cp1251ToUtf8(outcome.cause);
    const std::string reason = outcome.Reason();
    EXPECT_TRUE(reason.starts_with(outcome.message));
    EXPECT_NE(reason.find(outcome.file), std::string::npos);
    EXPECT_NE(reason.find(outcome.cause), std::string::npos);
    EXPECT_EQ(host.Delivered(kId), "0");
  }
}

TEST(ExportDriver, FileNameModes) {
  struct Case {
    const char* options;
    std::string header;
    std::string line;
  } cases[] = {
      {"singlefile=1\nmanyfiles=1\n", "12345.dbf", "12345.dbf"},
      {"singlefile=1\nmanyfiles=1\ncharlength=3\n", "345.dbf", "345.dbf"},
      {"singlefile=1\nmanyfiles=1\ncharlength=0\n", ".dbf", ".dbf"},
      {"singlefile=1\nmanyfiles=0\ncharlength=3\n", "Nakl.dbf", "Nakl.dbf"},
      {"singlefile=0\nmanyfiles=1\ncharlength=3\n", "h12345.dbf", "b12345.dbf"},
      {"singlefile=0\nmanyfiles=0\n", "cat_epd.dbf", "body_epd.dbf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    TestHost host;
    host.CreateTables();
    host.AddInvoice(kId, {}, 3);
    host.Settings(c.options);
    ASSERT_TRUE(host.Export(kId)) << BoxTexts(host);
    auto lines = Rows(host.out() + c.line);
    EXPECT_EQ(lines.size(), 3u);
    if (c.header != c.line) {
      EXPECT_EQ(Rows(host.out() + c.header).size(), 1u);
    } else {
      EXPECT_EQ(lines[2]["SENDER"], lines[0]["SENDER"]);  // the single file carries the header fields
    }
  }
}

TEST(ExportDriver, ShortNamesShareAFile) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 2);
  host.AddInvoice(345, {}, 1);
  host.Settings("singlefile=1\nmanyfiles=1\ncharlength=3\n");
  ASSERT_TRUE(host.Export(kId));
  ASSERT_TRUE(host.Export(345));
  auto rows = Rows(host.out() + "345.dbf");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0]["IDMSG"], "12345");
  EXPECT_EQ(rows[2]["IDMSG"], "345");
  EXPECT_TRUE(host.boxes.empty()) << BoxTexts(host);
}

TEST(ExportDriver, SupplierSubfolderIsCreated) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {{"IDSENDER", "77"}}, 2);
  host.Settings("seller=1\n");
  ASSERT_TRUE(host.Export(kId)) << BoxTexts(host);
  EXPECT_TRUE(platform::DirectoryExists(host.out() + "77"));
  EXPECT_EQ(Rows(host.out() + "77\\cat_epd.dbf").size(), 1u);
  EXPECT_EQ(Rows(host.out() + "77\\body_epd.dbf").size(), 2u);
  EXPECT_FALSE(platform::FileExists(host.out() + "cat_epd.dbf"));
}

// A supplier id that is no plain folder name must not take the files anywhere else.
TEST(ExportDriver, UnsafeSupplierFolderIsRefused) {
  for (const char* id : {"..", ".", "..\\ESCAPE", "../ESCAPE", "a\\b", "C:x", "", "x|y"}) {
    SCOPED_TRACE(id);
    TestHost host;
    auto header = testing_support::HostHeaderColumns();
    for (auto& column : header)
      if (column.Name == "IDSENDER") column = {"IDSENDER", 'C', 20, 0};
    host.CreateTables(header);
    host.AddInvoice(kId, {{"IDSENDER", id}}, 2);
    host.Settings("seller=1\n");
    EXPECT_FALSE(host.Export(kId));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Ошибка создания файлов экспорта накладной"_cp);
    EXPECT_FALSE(platform::DirectoryExists(host.base() + "ESCAPE"));
    EXPECT_FALSE(platform::FileExists(host.base() + "cat_epd.dbf"));
    EXPECT_FALSE(platform::FileExists(host.out() + "cat_epd.dbf"));
    EXPECT_EQ(host.Delivered(kId), "0");
  }
}

TEST(ExportDriver, EmptyExportDirectoryIsRefused) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 2);
  host.Settings("Export_Dir=\n");
  EXPECT_FALSE(host.Export(kId));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("Export_Dir"), std::string::npos);
  EXPECT_EQ(host.Delivered(kId), "0");
}

void ResetDelivered(TestHost& host) {
  sql::Query q(host.epd().substr(0, host.epd().size() - 1));
  q.SetSql(" UPDATE \"cat_epd.dbf\"  SET DLVCHN=0  WHERE idMsg=" + std::to_string(kId));
  q.ExecSql();
}

TEST(ExportDriver, SecondExportAsksAndAnswersDecide) {
  for (const char* mode : {"singlefile=0\n", "singlefile=1\n"}) {
    SCOPED_TRACE(mode);
    const bool single = std::string(mode) == "singlefile=1\n";
    const std::string header_file = single ? "Nakl.dbf" : "cat_epd.dbf";
    const std::string line_file = single ? "Nakl.dbf" : "body_epd.dbf";
    TestHost host;
    host.CreateTables();
    host.AddInvoice(7, {}, 1);
    host.AddInvoice(kId, {}, 3);
    host.Settings(mode);
    ASSERT_TRUE(host.Export(7));
    ASSERT_TRUE(host.Export(kId));
    ASSERT_TRUE(host.boxes.empty()) << BoxTexts(host);
    const std::string before_header = testing_support::ReadFile(host.out() + header_file);
    const std::string before_line = testing_support::ReadFile(host.out() + line_file);

    // No: nothing appended, the files unchanged, still marked delivered.
    ResetDelivered(host);
    host.answer_yes = false;
    EXPECT_TRUE(host.Export(kId));
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].kind, 1);
    EXPECT_EQ(host.boxes[0].text, "Накладная уже экспортирована. Заменить?"_cp);
    EXPECT_EQ(testing_support::ReadFile(host.out() + header_file), before_header);
    EXPECT_EQ(testing_support::ReadFile(host.out() + line_file), before_line);
    EXPECT_EQ(host.Delivered(kId), "1");
    EXPECT_EQ(ExportInvoice(kId).what, Outcome::kKeptEarlierCopy);  // what the export says of it

    // Yes: the earlier copy goes, exactly one copy stays; the other invoice is untouched.
    ResetDelivered(host);
    host.boxes.clear();
    host.answer_yes = true;
    EXPECT_TRUE(host.Export(kId));
    EXPECT_EQ(host.boxes.size(), 1u);  // the question
    host.boxes.clear();
    EXPECT_EQ(ExportInvoice(kId).what, Outcome::kExported);  // asked and replaced again
    auto count = [](const std::vector<Row>& rows, const std::string& id) {
      int n = 0;
      for (const Row& r : rows) n += r.at("IDMSG") == id;
      return n;
    };
    auto lines = Rows(host.out() + line_file);
    EXPECT_EQ(count(lines, "12345"), 3);
    EXPECT_EQ(count(lines, "7"), 1);
    if (!single) {
      EXPECT_EQ(count(Rows(host.out() + header_file), "12345"), 1);
    }
    EXPECT_EQ(host.Delivered(kId), "1");
  }
}

TEST(ExportDriver, WithoutIdMsgMappingTheInvoiceIsAppendedAgain) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 2);
  host.Settings("", Mapping({{"IDMSG", "name=IDMSG\nlength=10\ntype=нет\n"_cp}}));
  ASSERT_TRUE(host.Export(kId));
  ASSERT_TRUE(host.Export(kId));
  EXPECT_TRUE(host.boxes.empty()) << BoxTexts(host);
  EXPECT_EQ(Rows(host.out() + "cat_epd.dbf").size(), 2u);
  EXPECT_EQ(Rows(host.out() + "body_epd.dbf").size(), 4u);
}

TEST(ExportDriver, SingleFileTakesTheHeaderValueWhereKeysCoincide) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {{"SENDER", "Поставщик"_cp}}, 3, {{"MSGNUM", "999"}});
  host.Settings("singlefile=1\n");
  ASSERT_TRUE(host.Export(kId));
  auto rows = Rows(host.out() + "Nakl.dbf");
  ASSERT_EQ(rows.size(), 3u);
  for (const Row& r : rows) {
    EXPECT_EQ(r.at("MSGNUM"), "12845");
    EXPECT_EQ(r.at("SENDER"), "Поставщик"_cp);
  }
  EXPECT_EQ(rows[1].at("ITEMID"), "Item 2");
}

TEST(ExportDriver, TwoHeaderRowsTheFirstIsUsedAndBothAreMarked) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {{"SENDER", "First"}}, 1);
  TestHost::Append(host.epd() + "cat_epd.dbf", {{{"IDMSG", "12345"}, {"SENDER", "Second"}, {"DLVCHN", "0"}}});
  host.Settings("");
  ASSERT_TRUE(host.Export(kId));
  auto out = Rows(host.out() + "cat_epd.dbf");
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0]["SENDER"], "First");
  for (const Row& r : host.Headers()) EXPECT_EQ(r.at("DLVCHN"), "1");
}

TEST(ExportDriver, AnOutputLackingTheIdMsgColumnIsReported) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 2);
  TestHost::Create(host.out() + "cat_epd.dbf", {{"SENDER", 'C', 20, 0}});
  host.Settings("");
  EXPECT_FALSE(host.Export(kId));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_NE(host.boxes[0].text.find("IDMSG"), std::string::npos) << BoxTexts(host);
  EXPECT_NE(host.boxes[0].text.find(host.out() + "cat_epd.dbf"), std::string::npos) << BoxTexts(host);
  EXPECT_EQ(host.Delivered(kId), "0");
  EXPECT_EQ(Rows(host.out() + "cat_epd.dbf").size(), 0u);
  EXPECT_EQ(Rows(host.out() + "body_epd.dbf").size(), 0u);
}

// The line file needs the column only to clear an earlier copy; then nothing is deleted at all.
TEST(ExportDriver, ALineOutputWithoutTheIdMsgColumnStopsOnlyAReplacement) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 2);
  TestHost::Create(host.out() + "body_epd.dbf", {{"ITEMID", 'C', 20, 0}});
  host.Settings("");
  ASSERT_TRUE(host.Export(kId)) << BoxTexts(host);
  ResetDelivered(host);
  host.answer_yes = true;
  EXPECT_FALSE(host.Export(kId));
  ASSERT_EQ(host.boxes.size(), 2u) << BoxTexts(host);
  EXPECT_EQ(host.boxes[0].kind, 1);
  EXPECT_NE(host.boxes[1].text.find(host.out() + "body_epd.dbf"), std::string::npos) << BoxTexts(host);
  EXPECT_EQ(Rows(host.out() + "cat_epd.dbf").size(), 1u);
  EXPECT_EQ(Rows(host.out() + "body_epd.dbf").size(), 2u);
  EXPECT_EQ(host.Delivered(kId), "0");
}

}  // namespace
}  // namespace epd::exporter
