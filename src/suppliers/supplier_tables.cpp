#include "suppliers/supplier_tables.h"

#include <limits>
#include <memory>

#include "platform/files.h"
#include "sql/query.h"
#include "suppliers/crc32.h"
#include "tables/table.h"

namespace epd::suppliers {
namespace {

constexpr std::size_t kCodeWidth = 13;  // width of CnCode

// The code as the CnCode column gives it back once stored: cut to the column's width, without
// trailing blanks.
std::string AsStoredInCodeColumn(const std::string& code) {
  std::string held = code.substr(0, kCodeWidth);
  while (!held.empty() && held.back() == ' ') held.pop_back();
  return held;
}

void InsertCode(const std::string& data_directory, std::int32_t idSeller, std::int32_t idTemp,
                const std::string& code) {
  sql::Query query;
  query.SetSql(CodeInsertStatement(data_directory));
  query.SetParam("idSeller", idSeller);
  query.SetParam("idTemp", idTemp);
  query.SetParam("CnCode", code);
  query.ExecSql();
}

}  // namespace

std::string CodeInsertStatement(const std::string& data_directory) {
  return std::string(" INSERT INTO ") + '"' + data_directory + kCodeTableFile + '"' + "(idSeller,idTemp,CnCode) " +
         " VALUES(:idSeller,:idTemp,:CnCode) ";
}

std::int32_t SubstituteCodeOf(const std::string& code) {
  const std::uint32_t crc = Crc32Buffer(code.data(), static_cast<std::uint32_t>(code.size()));
  // |CRC read as signed|, negated in 32-bit two's complement: 0x80000000 stays INT32_MIN.
  const std::uint32_t magnitude = (crc & 0x80000000u) ? 0u - crc : crc;
  return static_cast<std::int32_t>(magnitude);
}

bool SupplierTables::SellerInTable(std::int32_t idSeller, const std::string& fileName) const {
  const std::string path = PathOf(fileName);
  if (!platform::FileExists(path)) return false;
  std::unique_ptr<tables::Table> table = tables::Table::Open(path);
  return table->Locate("idSeller", {idSeller});
}

bool SupplierTables::IsSellerListed(std::int32_t idSeller, bool enabled) const {
  const bool listed = enabled && SellerInTable(idSeller, kSupplierListFile);
  CreateAtachList();
  return listed;
}

std::int32_t SupplierTables::GetTempCode(std::int32_t idSeller, const std::string& code) const {
  const std::int32_t fresh = SubstituteCodeOf(code);
  // A pair the code table cannot give back as it is could never be found again: every call
  // would add a row, and the row would answer for another pair. That is a code longer than
  // CnCode or ending in blanks (the row, holding the cut text, would be taken for the code equal
  // to that text), and the number -2147483648, which an integer column of the engine's tables
  // reads back as blank (0). Such a code gets its number from its text alone and leaves the
  // table untouched.
  if (fresh == std::numeric_limits<std::int32_t>::min() || AsStoredInCodeColumn(code) != code) return fresh;
  {
    std::unique_ptr<tables::Table> table = tables::Table::Open(PathOf(kCodeTableFile));
    if (table->Locate("idseller;cncode", {idSeller, code})) return table->AsInteger("idTemp");
  }
  InsertCode(data_directory_, idSeller, fresh, code);
  return fresh;
}

bool SupplierTables::CreateSelList(const std::string& fileName) const {
  const std::string path = PathOf(fileName);
  if (platform::FileExists(path)) return true;
  try {
    tables::FieldDefs defs;
    defs.Add("idSeller", tables::FieldType::kInteger);
    defs.Add("Seller", tables::FieldType::kString, 30);
    tables::CreateTable(path, defs);
    return true;
  } catch (...) {
    return false;
  }
}

bool SupplierTables::CreateAtachList() const {
  const std::string path = PathOf(kCodeTableFile);
  if (platform::FileExists(path)) return true;
  tables::FieldDefs defs;
  defs.Add("idSeller", tables::FieldType::kInteger);
  defs.Add("idTemp", tables::FieldType::kInteger);
  defs.Add("CnCode", tables::FieldType::kString, static_cast<int>(kCodeWidth));
  tables::CreateTable(path, defs);
  return true;
}

}  // namespace epd::suppliers
