#include "suppliers/supplier_tables.h"

#include <memory>

#include "export/library_state.h"
#include "platform/files.h"
#include "suppliers/crc32.h"
#include "tables/query.h"
#include "tables/table.h"

namespace epd::suppliers {
namespace {

constexpr std::size_t kCodeWidth = 13;  // width of CnCode

std::string DataPath(const std::string& file_name) { return exporter::State().data_directory + file_name; }

// The code as the CnCode column gives it back once stored: cut to the column's width, without
// trailing blanks.
std::string AsStoredInCodeColumn(const std::string& code) {
  std::string held = code.substr(0, kCodeWidth);
  while (!held.empty() && held.back() == ' ') held.pop_back();
  return held;
}

void InsertCode(std::int32_t idSeller, std::int32_t idTemp, const std::string& code) {
  tables::Query query;
  query.SetSql(CodeInsertStatement(exporter::State().data_directory));
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

bool SellerInTable(std::int32_t idSeller, const std::string& fileName) {
  const std::string path = DataPath(fileName);
  if (!platform::FileExists(path)) return false;
  std::unique_ptr<tables::Table> table = tables::Table::Open(path);
  return table->Locate("idSeller", {idSeller});
}

bool IsSellerListed(std::int32_t idSeller, bool enabled) {
  const bool listed = enabled && SellerInTable(idSeller, kSupplierListFile);
  CreateAtachList();
  return listed;
}

std::int32_t GetTempCode(std::int32_t idSeller, const std::string& code) {
  const std::int32_t fresh = SubstituteCodeOf(code);
  const std::string held = AsStoredInCodeColumn(code);
  {
    std::unique_ptr<tables::Table> table = tables::Table::Open(DataPath(kCodeTableFile));
    if (held == code) {
      if (table->Locate("idseller;cncode", {idSeller, code})) return table->AsInteger("idTemp");
    } else {
      // The column cannot hold this code as it is, so a lookup of the full text would never
      // find its row and every call would add one more. Its row is the one holding the code as
      // the column keeps it together with the number this very code gives; a code that only
      // shares those first characters gives another number and so gets a row of its own.
      if (table->Locate("idseller;cncode;idtemp", {idSeller, held, fresh})) return fresh;
    }
  }
  InsertCode(idSeller, fresh, code);
  return fresh;
}

bool CreateSelList(const std::string& fileName) {
  const std::string path = DataPath(fileName);
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

bool CreateAtachList() {
  const std::string path = DataPath(kCodeTableFile);
  if (platform::FileExists(path)) return true;
  tables::FieldDefs defs;
  defs.Add("idSeller", tables::FieldType::kInteger);
  defs.Add("idTemp", tables::FieldType::kInteger);
  defs.Add("CnCode", tables::FieldType::kString, static_cast<int>(kCodeWidth));
  tables::CreateTable(path, defs);
  return true;
}

}  // namespace epd::suppliers
