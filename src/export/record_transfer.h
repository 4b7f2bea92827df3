#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/field_mapping.h"
#include "platform/error.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

// The record transfer: one logical field of one source row into the output record the export
// driver has just appended. Whether the field is exported and under which column is
// config::ReadMapping's rule. LOCALCOD may be replaced by the supplier's substitute code,
// GNVLS is written as "1" or "0", every other text is converted to the DOS code page when the
// invoice's options say so. A failure inside one field never stops the export: the field stays
// blank; the one exception is a code table that fails (CodeSubstitutionError).
namespace epd::exporter {

// A substitute code that could not be looked up or stored (the code table cannot be opened or
// written). Unlike every other failure inside a field it is not absorbed: a line whose code was
// to be replaced must not reach the output with a blank code, so the invoice fails instead.
class CodeSubstitutionError : public Error {
 public:
  CodeSubstitutionError(const std::string& message, std::string file) : Error(message), file_(std::move(file)) {}
  const std::string& file() const { return file_; }  // the code table

 private:
  std::string file_;
};

// What the transfer needs of the invoice being exported.
struct TransferContext {
  const tables::RowReader& header;         // the invoice's header row, also while lines are written
  const suppliers::SupplierTables& codes;  // where substitute codes are looked up and stored
  bool replace_codes = false;              // IsSellerListed's answer for the invoice's supplier
  bool dos_coding = false;                 // bDOScoding of the options the export runs with
};

// A field with its columns found once in one source and one output, for the many records of one
// invoice (the tables do not change their columns while it is written). -1: no such column, and
// the field is then skipped as a failing read or write would have it.
struct BoundField {
  enum class Kind { kText, kLocalCode, kGnvls };  // the transfer's special keys
  const config::MappedField* mapping = nullptr;
  int source = -1;
  int output = -1;
  Kind kind = Kind::kText;
};
std::vector<BoundField> BindFields(const std::vector<config::MappedField>& fields, const tables::RowReader& source,
                                   const tables::Table& output);

// Writes one field. Raises CodeSubstitutionError only.
void TransferField(const BoundField& field, tables::Table& output, const tables::RowReader& source,
                   const TransferContext& context);

// The text to write: converted from code page 1251 to 866 when `dos_coding`, else unchanged.
// Any length. Takes the text by value: an unchanged text is handed back without a copy.
std::string ConvertCoding(std::string text, bool dos_coding);

}  // namespace epd::exporter
