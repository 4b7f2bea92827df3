// epd doctor: the supplier list, the code table and the code replacement.
#include <exception>
#include <stdexcept>

#include "cli_support.h"
#include "doctor.h"
#include "platform/files.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

namespace epd::tool::doctor {
namespace {

constexpr std::string_view kSuppliers = "Suppliers";
constexpr const char* kDamagedList =
    "Check the table; a damaged list can be deleted and the suppliers listed again in «Список поставщиков» (or: epd "
    "suppliers --base DIR add ID).";

std::map<std::int32_t, std::string> ReadList(const std::string& path) {
  std::map<std::int32_t, std::string> listed;
  auto list = tables::Table::Open(path);
  for (list->First(); !list->Eof(); list->Next()) listed[list->AsInteger("idSeller")] = list->AsString("Seller");
  list->Close();
  return listed;
}

// The rows whose substitute code is -1, which the export reports as failed substitutions.
int BrokenCodes(const std::string& path) {
  auto codes = tables::Table::Open(path);
  for (const char* column : {"idSeller", "idTemp", "CnCode"})
    if (codes->FieldIndex(column) < 0) throw std::runtime_error(std::string("it has no column ") + column);
  int broken = 0;
  for (codes->First(); !codes->Eof(); codes->Next())
    if (codes->AsInteger("idTemp") == -1) ++broken;
  codes->Close();
  return broken;
}

void CheckList(const Setup& setup, ListedSuppliers& suppliers, Findings& findings) {
  const std::string path = setup.places.data_directory + suppliers::kSupplierListFile;
  if (!platform::FileExists(path)) return;
  try {
    suppliers.listed = ReadList(path);
  } catch (const std::exception& e) {
    const std::string what = DisplayPath(path) + " cannot be read: " + ToUtf8(e.what());
    if (suppliers.replacing)
      findings.Problem(kSuppliers,
                       what + "; every export stops with «Ошибка проверки списка поставщиков для замены кодов: …»",
                       kDamagedList);
    else
      findings.Warning(kSuppliers, what + "; it is read once «Включить замену кодов» is ticked", kDamagedList);
  }
}

void CheckCodeTable(const Setup& setup, const ListedSuppliers& suppliers, Findings& findings) {
  const std::string& data = setup.places.data_directory;
  const std::string path = data + suppliers::kCodeTableFile;
  if (!platform::FileExists(path)) {
    if (std::optional<std::string> why = WhyNotWritable(data))
      findings.Problem(kSuppliers,
                       Shown(data) + " takes no new file (" + *why +
                           "): every export first creates the code "
                           "table " +
                           suppliers::kCodeTableFile + " there, and stops",
                       "Give the host program's user the right to create and change files in DATA.");
    return;
  }
  try {
    if (const int broken = BrokenCodes(path); broken > 0)
      findings.Warning(kSuppliers,
                       DisplayPath(path) + " holds " + Count(static_cast<std::size_t>(broken), "row", "rows") +
                           " with the substitute code -1: those codes are exported blank, with «Ошибка генерации кода "
                           "замены для поставщика …»",
                       "Delete those rows, or the whole file (it is made again with the same numbers), then export "
                       "the invoices again answering «Да».");
  } catch (const std::exception& e) {
    const bool used = suppliers.replacing && !suppliers.listed.empty();
    const std::string what = DisplayPath(path) + " cannot be read: " + ToUtf8(e.what());
    const std::string fix = "Delete it: the library makes it again and gives the same numbers.";
    if (used)
      findings.Problem(kSuppliers,
                       what + "; exports of the listed suppliers stop with «Не удалось получить код замены …»", fix);
    else
      findings.Warning(kSuppliers, what, fix);
  }
}

}  // namespace

void CheckSupplierTables(const Setup& setup, ListedSuppliers& suppliers, Findings& findings) {
  suppliers.replacing = setup.options.bchangecncode;
  if (!platform::DirectoryExists(setup.places.data_directory)) return;  // said under Settings
  CheckList(setup, suppliers, findings);
  CheckCodeTable(setup, suppliers, findings);
  const std::string directory = setup.places.base_directory + "Price\\Sellers.dbf";
  if (!platform::FileExists(directory))
    findings.Warning(kSuppliers,
                     "the host's supplier directory " + DisplayPath(directory) +
                         " does not exist: «Список поставщиков» has no supplier to offer",
                     "Check that --base names the host's base folder; the host program keeps its suppliers there.");
}

void CheckCodeReplacement(const Setup& setup, const ListedSuppliers& suppliers, Findings& findings) {
  std::vector<std::string> names;
  for (const auto& [id, name] : suppliers.listed) names.push_back(std::to_string(id) + " " + Quoted(name));
  if (!suppliers.replacing) {
    if (!names.empty())
      findings.Note(kSuppliers,
                    Count(names.size(), "supplier is", "suppliers are") +
                        " listed, but «Включить замену кодов» is off: their codes are exported as they are");
    return;
  }
  if (names.empty()) {
    findings.Note(kSuppliers,
                  "«Включить замену кодов» is on, but no supplier is listed: every code is exported as it is");
    return;
  }
  const config::CatalogueField& localcod = CatalogueFieldOf("LOCALCOD", true);
  const config::MappedField field = config::ReadMapping(setup.settings, localcod.key);
  if (!field.exported() || !field.type) {
    findings.Warning(kSuppliers,
                     "supplier(s) " + Named(names) + " are listed for code replacement, but " + FieldLabel(localcod) +
                         " is not exported: no product code of theirs reaches the output, replaced or not",
                     MappingFix(localcod, "Export it, e.g. as LOCALCOD of type ftString and length 13",
                                "name=LOCALCOD length=13 type=ftString"));
    return;
  }
  findings.Ok(kSuppliers, "codes of " + Named(names) + " are replaced by substitute codes");
}

}  // namespace epd::tool::doctor
