// epd doctor: the host's invoice tables, and the invoices the later checks look at.
#include <algorithm>
#include <exception>
#include <set>

#include "cli_support.h"
#include "doctor.h"
#include "platform/files.h"
#include "sql/query.h"
#include "tables/table.h"

namespace epd::tool::doctor {
namespace {

constexpr std::string_view kHost = "Host tables";
// How many invoices the value checks look at: the waiting ones first, then the newest.
constexpr std::size_t kSampleInvoices = 100;
constexpr std::size_t kSampleLines = 5000;

constexpr const char* kHostVersion =
    "The host program's tables are not of the form this library reads: ask the host program's support.";

struct Required {
  const char* column;
  const char* use;
};
constexpr Required kHeaderRequired[] = {{"IDMSG", "selects the invoice"},
                                        {"CATTYP", "tells the delivery type DR"},
                                        {"IDSENDER", "names the supplier"},
                                        {"DLVCHN", "marks the invoice delivered"}};

std::vector<std::string> ColumnsOf(const tables::RowReader& table) {
  std::vector<std::string> columns;
  for (int i = 0; i < table.FieldCount(); ++i) columns.push_back(table.FieldName(i));
  return columns;
}

// The text of the column at `index` of the current row, as the transfer reads it ("" when the
// column is missing or its value cannot be read: the transfer leaves the field blank then).
std::string ValueAt(const tables::RowReader& row, int index, bool gnvls) {
  if (index < 0) return {};
  try {
    if (gnvls) return row.AsBooleanAt(index) ? "1" : "0";
    return row.AsStringAt(index);
  } catch (const std::exception&) {
    return {};
  }
}

std::vector<std::string> ValuesOf(const tables::RowReader& row, std::span<const config::CatalogueField> fields) {
  std::vector<std::string> values;
  for (const config::CatalogueField& f : fields)
    values.push_back(ValueAt(row, row.FieldIndex(f.key), f.key == "GNVLS"));
  return values;
}

// Every invoice of cat_epd.dbf with its supplier's id; rows whose number cannot be read are
// skipped (their export could not select them either).
void ReadInvoiceList(const std::string& path, HostSample& host) {
  auto table = tables::Table::Open(path);
  host.header_columns = ColumnsOf(*table);
  const int sender = table->FieldIndex("IDSENDER");
  for (table->First(); !table->Eof(); table->Next()) {
    try {
      host.invoices.emplace_back(table->AsInteger("IDMSG"), sender < 0 ? std::string() : table->AsStringAt(sender));
    } catch (const std::exception&) {
    }
  }
  table->Close();
}

// The invoices an automatic pass would export, in its order.
std::vector<std::int32_t> WaitingInvoices(const Setup& setup, Findings& findings) {
  std::vector<std::int32_t> waiting;
  const std::string path = setup.HostTable("epdct.dbf");
  if (!platform::FileExists(path)) return waiting;
  try {
    auto list = tables::Table::Open(path);
    for (list->First(); !list->Eof(); list->Next())
      if (list->AsString("CatTyp") != "DR") waiting.push_back(list->AsInteger("idmsg"));
    list->Close();
  } catch (const std::exception& e) {
    if (setup.options.bAutoExportEPD)
      findings.Problem(kHost,
                       DisplayPath(path) + " cannot be read: " + ToUtf8(e.what()) +
                           "; the automatic pass stops with «Ошибка чтения списка новых накладных …»",
                       "Check the table; the host program rewrites it when invoices arrive. Meanwhile export the "
                       "invoices one by one.");
  }
  return waiting;
}

std::vector<std::int32_t> ChooseSample(const std::vector<std::int32_t>& waiting, const HostSample& host) {
  std::vector<std::int32_t> chosen;
  std::set<std::int32_t> seen;
  auto take = [&](std::int32_t id) {
    if (chosen.size() < kSampleInvoices && seen.insert(id).second) chosen.push_back(id);
  };
  for (std::int32_t id : waiting) take(id);
  for (auto it = host.invoices.rbegin(); it != host.invoices.rend() && chosen.size() < kSampleInvoices; ++it)
    take(it->first);
  return chosen;
}

// Header and lines of one invoice through the export's own statements. False when there is no
// header or no line, which `missing` then records.
bool ReadInvoice(const Setup& setup, std::int32_t id, std::size_t& lines_left, HostSample& host,
                 std::vector<std::string>& missing) {
  const std::string directory = setup.places.orders_directory + "EPD";
  const std::string n = std::to_string(id);
  sql::Query header(directory), lines(directory);
  header.SetSql("SELECT * FROM \"cat_epd.dbf\" WHERE idmsg=" + n);
  lines.SetSql(" SELECT * FROM \"body_epd.dbf\"  WHERE idmsg=" + n);
  header.Open();
  lines.Open();
  if (header.RecordCount() == 0 || lines.RecordCount() == 0) {
    missing.push_back(n + (header.RecordCount() == 0 ? " (no header: «Не найден заголовок накладной»)"
                                                     : " (no line: «Не найдено содержание накладной»)"));
    return false;
  }
  header.First();
  if (ValueAt(header, header.FieldIndex("CATTYP"), false) == "DR") return true;  // never exported
  SampleInvoice invoice;
  invoice.id_msg = id;
  invoice.sender_id = ValueAt(header, header.FieldIndex("IDSENDER"), false);
  invoice.header = ValuesOf(header, config::HeaderFields());
  for (lines.First(); !lines.Eof() && lines_left > 0; lines.Next(), --lines_left)
    invoice.lines.push_back(ValuesOf(lines, config::LineFields()));
  host.recent.push_back(std::move(invoice));
  return true;
}

void CheckRequiredColumns(const Setup& setup, const HostSample& host, Findings& findings) {
  for (const Required& r : kHeaderRequired)
    if (!host.HasHeaderColumn(r.column))
      findings.Problem(kHost,
                       DisplayPath(setup.HostTable("cat_epd.dbf")) + " has no column " + r.column + ", which " + r.use +
                           " in every export",
                       kHostVersion);
  if (!host.HasLineColumn("IDMSG"))
    findings.Problem(kHost,
                     DisplayPath(setup.HostTable("body_epd.dbf")) +
                         " has no column IDMSG, by which every export selects an invoice's lines",
                     kHostVersion);
}

// Each exported field reads the host column of its key; without it the output column stays blank.
void CheckMappedColumns(const Setup& setup, const HostSample& host, Findings& findings) {
  for (const config::CatalogueField& f : config::kFieldCatalogue) {
    const bool line = f.table == config::FieldTable::kLine;
    if (!config::ReadMapping(setup.settings, f.key).exported()) continue;
    if (f.key == "IDMSG" || (line ? host.HasLineColumn(f.key) : host.HasHeaderColumn(f.key))) continue;
    const char* table = line ? "body_epd.dbf" : "cat_epd.dbf";
    findings.Warning(kHost,
                     "field " + FieldLabel(f) + " is exported, but " + DisplayPath(setup.HostTable(table)) +
                         " has no column " + std::string(f.key) + ": the output column stays blank in every record",
                     MappingFix(f, "If the host has no such data, set the type to «нет»", "type=нет"));
  }
}

void CheckWritable(const std::string& path, Findings& findings) {
  try {
    platform::OpenFile(path, platform::FileMode::kReadWrite).reset();
  } catch (const std::exception& e) {
    findings.Problem(kHost,
                     DisplayPath(path) + " cannot be written (" + ToUtf8(e.what()) +
                         "): no export can mark its invoice delivered («Ошибка отметки накладной как доставленной "
                         "(DLVCHN) …»)",
                     "Give the host program's user the right to write it.");
  }
}

}  // namespace

std::optional<HostSample> CheckHostTables(const Setup& setup, Findings& findings) {
  HostSample host;
  const std::string cat = setup.HostTable("cat_epd.dbf"), body = setup.HostTable("body_epd.dbf");
  bool present = true;
  for (const std::string& path : {cat, body}) {
    if (platform::FileExists(path)) continue;
    present = false;
    findings.Problem(kHost,
                     DisplayPath(path) + " does not exist: every export stops with «Ошибка при открытии накладных»",
                     "Check that --base names the host's base folder, the one holding ORDERS\\EPD.");
  }
  if (!present) return std::nullopt;
  const std::string* opening = &cat;
  try {
    ReadInvoiceList(cat, host);
    opening = &body;
    auto lines = tables::Table::Open(body);
    host.line_columns = ColumnsOf(*lines);
    lines->Close();
  } catch (const std::exception& e) {
    findings.Problem(kHost,
                     DisplayPath(*opening) + " cannot be opened: " + ToUtf8(e.what()) +
                         "; every export stops with «Ошибка при открытии накладных»",
                     "Close programs that hold it without sharing; restore a damaged table from the host's backup.");
    return std::nullopt;
  }
  const int problems = findings.Count(Severity::kProblem);
  CheckRequiredColumns(setup, host, findings);
  if (findings.Count(Severity::kProblem) > problems) return host;  // no invoice can be selected
  CheckWritable(cat, findings);
  CheckMappedColumns(setup, host, findings);

  std::vector<std::string> missing;
  std::size_t lines_left = kSampleLines;
  try {
    for (std::int32_t id : ChooseSample(WaitingInvoices(setup, findings), host))
      ReadInvoice(setup, id, lines_left, host, missing);
  } catch (const std::exception& e) {
    findings.Problem(kHost, "the invoices cannot be selected as an export selects them: " + ToUtf8(e.what()),
                     "Restore the damaged table from the host's backup.");
    return host;
  }
  if (!missing.empty())
    findings.Warning(kHost, "invoice(s) " + Named(missing) + " cannot be exported",
                     "The host program received them only in part: receive them again.");
  findings.Ok(kHost, DisplayPath(cat) + ": " + Count(host.invoices.size(), "invoice", "invoices") + " (" +
                         std::to_string(host.recent.size()) + " looked at closely), and " + DisplayPath(body) +
                         " hold the columns every export reads");
  return host;
}

}  // namespace epd::tool::doctor
