#pragma once

// A host directory for the export tests: ORDERS\EPD with dBASE III tables, DATA with the settings
// file, OUT as the export directory; message boxes captured and the confirmation answered as
// the test says. Header only: included by tests, never built into the library.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dbf/dbf_writer.h"
#include "export_epd.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/regional.h"
#include "platform/test_support.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

namespace epd::testing_support {

using Row = std::map<std::string, std::string>;  // column -> text as the engine reads and writes it

// The columns of the test's host tables: a realistic subset, at dBASE level III.
inline dbf::TDBFFieldDefs HostHeaderColumns() {
  return {{"IDMSG", 'N', 10, 0},    {"MSGNUM", 'N', 10, 0}, {"CATTYP", 'C', 2, 0},
          {"IDSENDER", 'N', 10, 0}, {"SENDER", 'C', 40, 0}, {"INVNUM", 'C', 10, 0},
          {"INVDT", 'D', 8, 0},     {"SUMTOT", 'N', 12, 2}, {"DLVCHN", 'N', 1, 0}};
}
inline dbf::TDBFFieldDefs HostLineColumns() {
  return {{"IDMSG", 'N', 10, 0},   {"MSGNUM", 'N', 10, 0},  {"ITEMID", 'C', 60, 0}, {"LOCALCOD", 'C', 13, 0},
          {"ITEMQTY", 'N', 10, 0}, {"CATPRNV", 'N', 12, 2}, {"GNVLS", 'L', 1, 0},   {"USEBEFOR", 'D', 8, 0}};
}

// The mapping of every test column, output column named like the key. `changes` replaces the
// body of a key's section ("" leaves the section out).
inline std::string Mapping(const std::map<std::string, std::string>& changes = {}) {
  static const std::pair<const char*, const char*> kBase[] = {
      {"IDMSG", "name=IDMSG\nlength=10\ntype=ftInteger\n"},
      {"MSGNUM", "name=MSGNUM\nlength=10\ntype=ftInteger\n"},
      {"CATTYP", "name=CATTYP\nlength=2\ntype=ftString\n"},
      {"IDSENDER", "name=IDSENDER\nlength=10\ntype=ftInteger\n"},
      {"SENDER", "name=SENDER\nlength=40\ntype=ftString\n"},
      {"INVNUM", "name=INVNUM\nlength=10\ntype=ftString\n"},
      {"INVDT", "name=INVDT\nlength=8\ntype=ftDate\n"},
      {"SUMTOT", "name=SUMTOT\nlength=9\ntype=ftFloat\n"},
      {"ITEMID", "name=ITEMID\nlength=60\ntype=ftString\n"},
      {"LOCALCOD", "name=LOCALCOD\nlength=13\ntype=ftString\n"},
      {"ITEMQTY", "name=ITEMQTY\nlength=10\ntype=ftInteger\n"},
      {"CATPRNV", "name=CATPRNV\nlength=9\ntype=ftFloat\n"},
      {"GNVLS", "name=GNVLS\nlength=1\ntype=ftString\n"},
      {"USEBEFOR", "name=USEBEFOR\nlength=8\ntype=ftDate\n"}};
  std::string ini;
  for (const auto& [key, body] : kBase) {
    auto change = changes.find(key);
    std::string text = change == changes.end() ? body : change->second;
    if (!text.empty()) ini += "[" + std::string(key) + "]\n" + text;
  }
  return ini;
}

struct Box {
  int kind;  // 0 error, 1 confirmation
  std::string text;
};

class TestHost {
 public:
  explicit TestHost(TempPlace place = TempPlace::kDisk) : dir_(place) {
    platform::SetRegionalFormatOverride(platform::RegionalFormat{',', "dd.MM.yyyy"});
    for (const char* sub : {"ORDERS", "ORDERS\\EPD", "DATA", "OUT", "Price"}) platform::MakeDirectory(base() + sub);
    ::EPDSetMessageHandler(&TestHost::Handler, this);
  }
  ~TestHost() {
    ::EPDSetMessageHandler(nullptr, nullptr);
    platform::SetFaultHook(nullptr);
    platform::SetRegionalFormatOverride(std::nullopt);
    ::InitializeEPD("");
  }

  const std::string& base() const { return dir_.path(); }
  std::string epd() const { return base() + "ORDERS\\EPD\\"; }
  std::string data() const { return base() + "DATA\\"; }
  std::string out() const { return base() + "OUT\\"; }
  // The supplier list and code table in DATA.
  suppliers::SupplierTables Suppliers() const { return suppliers::SupplierTables(data()); }

  // `general` holds lines of [EPD] (and may open further sections); export is switched on and
  // Export_Dir points at OUT unless `general` says otherwise.
  void Settings(const std::string& general, const std::string& more = Mapping()) {
    std::string ini = "[EPD]\n";
    if (general.find("bExportEPD") == std::string::npos) ini += "bExportEPD=1\n";
    if (general.find("Export_Dir") == std::string::npos) ini += "Export_Dir=" + out() + "\n";
    ini += general + more;
    WriteFile(data() + "export_epd.ini", ini);
    ::InitializeEPD(base().c_str());
  }

  void CreateTables(const dbf::TDBFFieldDefs& header = HostHeaderColumns(),
                    const dbf::TDBFFieldDefs& lines = HostLineColumns()) {
    Create(epd() + "cat_epd.dbf", header);
    Create(epd() + "body_epd.dbf", lines);
  }
  static void Create(const std::string& path, const dbf::TDBFFieldDefs& columns) {
    if (!dbf::CreateDBFFile(path, 4, 0, columns)) throw Error("cannot create " + path);
  }
  static void Append(const std::string& path, const std::vector<Row>& rows) {
    auto table = tables::Table::Open(path);
    for (const Row& row : rows) {
      table->Append();
      for (const auto& [column, value] : row) table->SetAsString(column, value);
      table->Post();
    }
    table->Close();
  }
  // An invoice: a header and its lines, with sensible values where the test gives none.
  void AddInvoice(int id, Row header, int line_count, Row line = {}) {
    header.emplace("IDMSG", std::to_string(id));
    header.emplace("MSGNUM", std::to_string(id + 500));
    header.emplace("CATTYP", "OR");
    header.emplace("IDSENDER", "77");
    header.emplace("INVNUM", "N" + std::to_string(id));
    header.emplace("INVDT", "15.03.2024");
    header.emplace("SUMTOT", "1234,5");
    header.emplace("DLVCHN", "0");
    Append(epd() + "cat_epd.dbf", {header});
    std::vector<Row> lines;
    for (int i = 1; i <= line_count; ++i) {
      Row l = line;
      l.emplace("IDMSG", std::to_string(id));
      l.emplace("MSGNUM", std::to_string(id + 500));
      l.emplace("ITEMID", "Item " + std::to_string(i));
      l.emplace("LOCALCOD", "C" + std::to_string(i));
      l.emplace("ITEMQTY", std::to_string(i * 10));
      l.emplace("CATPRNV", "12,5");
      l.emplace("GNVLS", i % 2 ? "T" : "F");
      l.emplace("USEBEFOR", "01.12.2026");
      lines.push_back(l);
    }
    Append(epd() + "body_epd.dbf", lines);
  }

  // Every live row of a table, each column read as text.
  static std::vector<Row> Rows(const std::string& path) {
    std::vector<Row> rows;
    auto table = tables::Table::Open(path);
    for (table->First(); !table->Eof(); table->Next()) {
      Row row;
      for (int i = 0; i < table->FieldCount(); ++i) row[table->FieldName(i)] = table->AsString(table->FieldName(i));
      rows.push_back(row);
    }
    table->Close();
    return rows;
  }
  std::vector<Row> Headers() const { return Rows(epd() + "cat_epd.dbf"); }
  std::string Delivered(int id) const {
    for (const Row& r : Headers())
      if (r.at("IDMSG") == std::to_string(id)) return r.at("DLVCHN");
    return "?";
  }

  bool Export(int id) { return ::ExportEPD(id, 1); }

  std::vector<Box> boxes;
  bool answer_yes = false;

 private:
  static int EPD_STDCALL Handler(int kind, const char*, const char* text, void* user) {
    auto* self = static_cast<TestHost*>(user);
    self->boxes.push_back({kind, text});
    return kind == 1 && self->answer_yes ? 1 : 0;
  }

  TempDir dir_;
};

// The texts of every message box the host was shown, in UTF-8, one a line: for failure messages.
inline std::string BoxTexts(const TestHost& host) {
  std::string all;
  for (const Box& box : host.boxes) all += platform::Cp1251ToUtf8(box.text) + "\n";
  return all;
}

}  // namespace epd::testing_support
