// Bad input met by the export, one table of cases each: host tables that are damaged, empty,
// short of columns or of the wrong types, with huge texts and 0x00 bytes; settings files with
// junk, long lines, duplicates, lines without "=" and an export folder that is a file; supplier
// ids that would not make a plain folder. Every case has one clear outcome: exported, or false
// with a message that says what is wrong, and then the host's tables as they were.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "export/test_host.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/text.h"

namespace epd::exporter {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing_support::HostHeaderColumns;
using testing_support::HostLineColumns;
using testing_support::Row;
using testing_support::TestHost;

constexpr int kId = 12345;

std::string Texts(const TestHost& host) {
  std::string all;
  for (const auto& box : host.boxes) all += platform::Cp1251ToUtf8(box.text) + "\n";
  return all;
}

dbf::TDBFFieldDefs Without(dbf::TDBFFieldDefs columns, const std::string& name) {
  std::erase_if(columns, [&](const dbf::TDBFField& f) { return f.Name == name; });
  return columns;
}
dbf::TDBFFieldDefs With(dbf::TDBFFieldDefs columns, const dbf::TDBFField& changed) {
  for (auto& f : columns)
    if (f.Name == changed.Name) f = changed;
  return columns;
}

std::string Repeat(std::string_view piece, std::size_t length) {
  std::string s;
  while (s.size() < length) s.append(piece);
  s.resize(length);
  return s;
}

// The outcome a case must have. An empty `box` means no message at all.
struct Outcome {
  bool exported;
  std::string box;  // the whole text, or a part of it when `part` is set
  bool part = false;
};

void ExpectOutcome(TestHost& host, bool exported, const Outcome& want, const std::string& host_table_before) {
  EXPECT_EQ(exported, want.exported) << Texts(host);
  if (want.box.empty()) {
    EXPECT_TRUE(host.boxes.empty()) << Texts(host);
  } else {
    ASSERT_EQ(host.boxes.size(), 1u) << Texts(host);
    if (want.part)
      EXPECT_NE(host.boxes[0].text.find(want.box), std::string::npos) << Texts(host);
    else
      EXPECT_EQ(host.boxes[0].text, want.box) << Texts(host);
  }
  if (!exported && platform::FileExists(host.epd() + "cat_epd.dbf")) {
    EXPECT_EQ(testing_support::ReadFile(host.epd() + "cat_epd.dbf"), host_table_before);
  }
}

const std::string kOpenFailed = "Ошибка при открытии накладных"_cp;
const std::string kCreateFailed = "Ошибка создания файлов экспорта накладной"_cp;

TEST(ExportBadInput, HostTables) {
  struct Case {
    const char* name;
    dbf::TDBFFieldDefs header = HostHeaderColumns(), lines = HostLineColumns();
    Row header_row = {}, line_row = {};
    int line_count = 2;
    std::function<void(TestHost&)> damage = nullptr;  // after the tables are filled
    Outcome outcome;
    std::function<void(TestHost&)> check = nullptr;  // more to check on the outputs
  };
  const std::string huge = Repeat("Аптека «Здоровье» №1 "_cp, 254);
  const std::string with_zero = std::string("Пара"_cp) + '\0' + std::string("цетамол"_cp);
  const Case cases[] = {
      {.name = "header table is no table",
       .damage = [](TestHost& h) { testing_support::WriteFile(h.epd() + "cat_epd.dbf", "not a table"); },
       .outcome = {false, kOpenFailed}},
      {.name = "header table cut inside its first 32 bytes",
       .damage =
           [](TestHost& h) {
             const std::string bytes = testing_support::ReadFile(h.epd() + "cat_epd.dbf");
             testing_support::WriteFile(h.epd() + "cat_epd.dbf", bytes.substr(0, 20));
           },
       .outcome = {false, kOpenFailed}},
      // The engine takes the fields it can read; the records are gone with the rest.
      {.name = "header table cut inside its field list",
       .damage =
           [](TestHost& h) {
             const std::string bytes = testing_support::ReadFile(h.epd() + "cat_epd.dbf");
             testing_support::WriteFile(h.epd() + "cat_epd.dbf", bytes.substr(0, 70));
           },
       .outcome = {false, "Не найден заголовок накладной"_cp}},
      {.name = "header count beyond the records the file holds",
       .damage =
           [](TestHost& h) {
             std::string bytes = testing_support::ReadFile(h.epd() + "cat_epd.dbf");
             bytes[4] = 50;
             testing_support::WriteFile(h.epd() + "cat_epd.dbf", bytes);
           },
       .outcome = {true, ""}},
      {.name = "line table missing",
       .damage = [](TestHost& h) { platform::RemoveFile(h.epd() + "body_epd.dbf"); },
       .outcome = {false, kOpenFailed}},
      {.name = "line table empty", .line_count = 0, .outcome = {false, "Не найдено содержание накладной"_cp}},
      {.name = "header table empty",
       .damage = [](TestHost& h) { TestHost::Create(h.epd() + "cat_epd.dbf", HostHeaderColumns()); },
       .outcome = {false, "Не найден заголовок накладной"_cp}},
      {.name = "line table without IDMSG",
       .lines = Without(HostLineColumns(), "IDMSG"),
       .outcome = {false, kOpenFailed}},
      {.name = "header without CatTyp",
       .header = Without(HostHeaderColumns(), "CATTYP"),
       .outcome = {false, "нет поля CatTyp"_cp, true}},
      {.name = "header without idSender",
       .header = Without(HostHeaderColumns(), "IDSENDER"),
       .outcome = {false, "нет поля idSender"_cp, true}},
      {.name = "idSender as text holding a number",
       .header = With(HostHeaderColumns(), {"IDSENDER", 'C', 10, 0}),
       .header_row = {{"IDSENDER", "77"}},
       .outcome = {true, ""}},
      {.name = "idSender as text holding letters",
       .header = With(HostHeaderColumns(), {"IDSENDER", 'C', 10, 0}),
       .header_row = {{"IDSENDER", std::string("АБВ"_cp)}},
       .outcome = {false, "Значение \"АБВ\""_cp, true}},
      {.name = "header without DLVCHN",
       .header = Without(HostHeaderColumns(), "DLVCHN"),
       .outcome = {false, "DLVCHN", true},
       .check = [](TestHost& h) { EXPECT_EQ(TestHost::Rows(h.out() + "body_epd.dbf").size(), 0u); }},
      {.name = "DLVCHN as a character column",
       .header = With(HostHeaderColumns(), {"DLVCHN", 'C', 1, 0}),
       .outcome = {true, ""}},
      {.name = "a quantity written as text with letters",
       .lines = With(HostLineColumns(), {"ITEMQTY", 'C', 10, 0}),
       .line_row = {{"ITEMQTY", "12abc"}},
       .outcome = {true, ""},
       .check = [](TestHost& h) { EXPECT_EQ(TestHost::Rows(h.out() + "body_epd.dbf")[0].at("ITEMQTY"), ""); }},
      {.name = "character fields of 254 bytes",
       .header = With(HostHeaderColumns(), {"SENDER", 'C', 254, 0}),
       .lines = With(HostLineColumns(), {"ITEMID", 'C', 254, 0}),
       .header_row = {{"SENDER", huge}},
       .line_row = {{"ITEMID", huge}},
       .outcome = {true, ""},
       .check =
           [huge](TestHost& h) {
             // Cut to the output's widths; read back without trailing blanks.
             auto cut = [&](std::size_t width) {
               std::string text = huge.substr(0, width);
               while (text.back() == ' ') text.pop_back();
               return text;
             };
             EXPECT_EQ(TestHost::Rows(h.out() + "cat_epd.dbf")[0].at("SENDER"), cut(40));
             EXPECT_EQ(TestHost::Rows(h.out() + "body_epd.dbf")[0].at("ITEMID"), cut(60));
           }},
      {.name = "Cyrillic and a 0x00 byte inside a text",
       .line_row = {{"ITEMID", with_zero}},
       .outcome = {true, ""},
       .check =
           [with_zero](TestHost& h) {
             EXPECT_NE(testing_support::ReadFile(h.out() + "body_epd.dbf").find(with_zero), std::string::npos);
           }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestHost host;
    host.CreateTables(c.header, c.lines);
    // The invoice through the engine; values of columns the case leaves out are not given.
    auto present = [](const dbf::TDBFFieldDefs& columns, const Row& row) {
      Row kept;
      for (const auto& entry : row)
        if (std::any_of(columns.begin(), columns.end(), [&](const auto& f) { return f.Name == entry.first; }))
          kept.insert(entry);
      return kept;
    };
    Row header = c.header_row;
    header.emplace("IDMSG", std::to_string(kId));
    header.emplace("CATTYP", "OR");
    header.emplace("IDSENDER", "77");
    header.emplace("SENDER", "ООО «Фарм»"_cp);
    header.emplace("DLVCHN", "0");
    TestHost::Append(host.epd() + "cat_epd.dbf", {present(c.header, header)});
    std::vector<Row> lines;
    for (int i = 1; i <= c.line_count; ++i) {
      Row line = c.line_row;
      line.emplace("IDMSG", std::to_string(kId));
      line.emplace("ITEMID", "Item " + std::to_string(i));
      line.emplace("ITEMQTY", std::to_string(i));
      lines.push_back(present(c.lines, line));
    }
    TestHost::Append(host.epd() + "body_epd.dbf", lines);
    host.Settings("");
    if (c.damage) c.damage(host);
    const std::string before =
        platform::FileExists(host.epd() + "cat_epd.dbf") ? testing_support::ReadFile(host.epd() + "cat_epd.dbf") : "";
    const bool exported = host.Export(kId);
    ExpectOutcome(host, exported, c.outcome, before);
    if (exported) {
      EXPECT_EQ(host.Delivered(kId), "1");
      EXPECT_EQ(TestHost::Rows(host.out() + "body_epd.dbf").size(), static_cast<std::size_t>(c.line_count));
    }
    if (c.check) c.check(host);
  }
}

TEST(ExportBadInput, SettingsFiles) {
  struct Case {
    const char* name;
    std::function<std::string(TestHost&)> ini;  // the whole settings file
    Outcome outcome;
    bool written;  // the invoice reached the outputs
  };
  const std::string mapping = testing_support::Mapping();
  auto good = [mapping](TestHost& h) { return "[EPD]\nbExportEPD=1\nExport_Dir=" + h.out() + "\n" + mapping; };
  const Case cases[] = {
      {"binary junk before and inside the sections",
       [mapping](TestHost& h) {
         return "\x00\xFF\x1A junk\r\r\n=\n[\n]]\n[EPD]\n\x01\x02\x00 noise\nbExportEPD=1\n\xFF=\xFF\n"s +
                "Export_Dir=" + h.out() + "\n" + mapping;
       },
       {true, ""},
       true},
      {"a line of 100000 characters between the keys",
       [mapping](TestHost& h) {
         return "[EPD]\nbExportEPD=1\nnoise=" + std::string(100000, 'x') + "\nExport_Dir=" + h.out() + "\n" + mapping;
       },
       {true, ""},
       true},
      {"an export folder longer than a value may be",
       [mapping](TestHost& h) {
         return "[EPD]\nbExportEPD=1\nExport_Dir=" + h.out() + std::string(3000, 'd') + "\n" + mapping;
       },
       {false, kCreateFailed},
       false},
      {"the first of two EPD sections switches export off",
       [good](TestHost& h) { return "[EPD]\nbExportEPD=0\n" + good(h); },
       {true, ""},
       false},
      {"the first of two bExportEPD keys switches it on",
       [mapping](TestHost& h) {
         return "[epd]\nbExportEPD=1\nBEXPORTEPD=0\nExport_Dir=" + h.out() + "\nexport_dir=elsewhere\n" + mapping;
       },
       {true, ""},
       true},
      {"a line without \"=\" sets nothing",
       [mapping](TestHost& h) { return "[EPD]\nbExportEPD 1\nExport_Dir=" + h.out() + "\n" + mapping; },
       {true, ""},
       false},
      {"the export folder is a file",
       [mapping](TestHost& h) {
         testing_support::WriteFile(h.base() + "plain.txt", "keep me");
         return "[EPD]\nbExportEPD=1\nExport_Dir=" + h.base() + "plain.txt\n" + mapping;
       },
       {false, kCreateFailed},
       false},
      {"the export folder is a file, with supplier folders",
       [mapping](TestHost& h) {
         testing_support::WriteFile(h.base() + "plain.txt", "keep me");
         return "[EPD]\nbExportEPD=1\nseller=1\nExport_Dir=" + h.base() + "plain.txt\n" + mapping;
       },
       {false, kCreateFailed},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestHost host;
    host.CreateTables();
    host.AddInvoice(kId, {}, 2);
    testing_support::WriteFile(host.data() + "export_epd.ini", c.ini(host));
    ::InitializeEPD(host.base().c_str());
    const std::string before = testing_support::ReadFile(host.epd() + "cat_epd.dbf");
    const bool exported = host.Export(kId);
    ExpectOutcome(host, exported, c.outcome, before);
    EXPECT_EQ(platform::FileExists(host.out() + "body_epd.dbf"), c.written);
    EXPECT_EQ(host.Delivered(kId), c.written ? "1" : "0");
    if (platform::FileExists(host.base() + "plain.txt")) {
      EXPECT_EQ(testing_support::ReadFile(host.base() + "plain.txt"), "keep me");
    }
  }

  // A settings file that is a folder reads as no file at all: export is off.
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 2);
  platform::MakeDirectory(host.data() + "export_epd.ini");
  ::InitializeEPD(host.base().c_str());
  EXPECT_TRUE(host.Export(kId));
  EXPECT_TRUE(host.boxes.empty()) << Texts(host);
  EXPECT_EQ(host.Delivered(kId), "0");
}

// Supplier ids as text that Windows would not take as one plain folder: the files never go
// anywhere else, whatever the id says.
TEST(ExportBadInput, SupplierIdsThatAreNoPlainFolder) {
  for (const char* id : {"...", "77.", ". .", "CON", "nul.txt", "COM1", "a:b",
                         "a\x01"
                         "b",
                         "..\\..\\x", "a/../.."}) {
    SCOPED_TRACE(id);
    TestHost host;
    host.CreateTables(With(HostHeaderColumns(), {"IDSENDER", 'C', 20, 0}));
    host.AddInvoice(kId, {{"IDSENDER", id}}, 2);
    host.Settings("seller=1\n");
    const std::string before = testing_support::ReadFile(host.epd() + "cat_epd.dbf");
    const bool exported = host.Export(kId);
    ExpectOutcome(host, exported, {false, kCreateFailed}, before);
    std::size_t entries = 0;
    for (const auto& e : fs::recursive_directory_iterator(platform::SystemPath(host.base()))) {
      const std::string rel = fs::relative(e.path(), platform::SystemPath(host.base())).generic_string();
      EXPECT_TRUE(rel.starts_with("ORDERS") || rel.starts_with("DATA") || rel == "OUT" || rel == "Price") << rel;
      ++entries;
    }
    EXPECT_GT(entries, 0u);
  }
}

// The replacement's delete statements carry the message number as digits and the IDMSG column
// from the settings. A column name that is more than one plain name could make the statement
// delete other invoices: it is refused, and nothing is deleted.
TEST(ExportBadInput, AnIdMsgColumnThatIsNoPlainNameDeletesNothing) {
  for (const char* column : {"0=0 OR 1", "IDMSG OR 1", "N-1", "X\"Y"}) {
    SCOPED_TRACE(column);
    TestHost host;
    host.CreateTables();
    host.AddInvoice(7, {}, 2);
    host.AddInvoice(kId, {}, 2);
    host.Settings(
        "", testing_support::Mapping({{"IDMSG", "name=" + std::string(column) + "\nlength=10\ntype=ftInteger\n"}}));
    ASSERT_TRUE(host.Export(7)) << Texts(host);
    ASSERT_TRUE(host.Export(kId)) << Texts(host);
    const std::string header = testing_support::ReadFile(host.out() + "cat_epd.dbf");
    const std::string lines = testing_support::ReadFile(host.out() + "body_epd.dbf");
    host.answer_yes = true;
    host.boxes.clear();
    EXPECT_FALSE(host.Export(kId));
    ASSERT_EQ(host.boxes.size(), 2u) << Texts(host);
    EXPECT_NE(host.boxes[1].text.find("Имя столбца номера накладной (IDMSG) \""_cp + column), std::string::npos)
        << Texts(host);
    EXPECT_EQ(testing_support::ReadFile(host.out() + "cat_epd.dbf"), header);
    EXPECT_EQ(testing_support::ReadFile(host.out() + "body_epd.dbf"), lines);
  }
}

}  // namespace
}  // namespace epd::exporter
