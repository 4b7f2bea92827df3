#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/settings_file.h"
#include "platform/error.h"
#include "tables/table.h"

// The record transfer: one logical field of one source row into the output record the export
// driver has just appended. A field is exported when its section in export_epd.ini has a
// non-empty `name` and `length` and a `type` that is neither empty nor "нет"; the value goes into
// the output column called `name`. LOCALCOD may be replaced by the supplier's substitute code,
// GNVLS is written as "1" or "0", every other text is converted to the DOS code page when
// bDOScoding is on. A failure inside one field never stops the export: the field stays blank;
// the one exception is a code table that fails (CodeSubstitutionError).
namespace epd::exporter {

// A substitute code that could not be looked up or stored (the code table cannot be opened or
// written). Unlike every other failure inside a field it is not absorbed: a line whose code was
// to be replaced must not reach the output with a blank code, so the invoice fails instead.
class CodeSubstitutionError : public Error {
 public:
  using Error::Error;
};

// What the transfer needs of the invoice being exported.
struct TransferContext {
  const tables::RowReader& header;  // the invoice's header row, also while lines are written
  bool replace_codes = false;       // IsSellerListed's answer for the invoice's supplier
};

// A field's mapping as the transfer uses it: the output column, or empty when not exported.
struct FieldMapping {
  std::string key;     // the field key: section name and source column
  std::string column;  // output column name; empty = not exported
};

// Reads the field's section from the settings file (one snapshot serves a whole export).
FieldMapping ResolveMapping(const config::SettingsFile& settings, std::string_view key);

// A field with its columns found once in one source and one output, for the many records of one
// invoice (the tables do not change their columns while it is written). -1: no such column, and
// the field is then skipped as a failing read or write would have it.
struct BoundField {
  enum class Kind { kText, kLocalCode, kGnvls };  // the transfer's special keys
  const FieldMapping* mapping = nullptr;
  int source = -1;
  int output = -1;
  Kind kind = Kind::kText;
};
std::vector<BoundField> BindFields(const std::vector<FieldMapping>& fields, const tables::RowReader& source,
                                   const tables::Table& output);

// Writes one field. Raises CodeSubstitutionError only.
void TransferField(const BoundField& field, tables::Table& output, const tables::RowReader& source,
                   const TransferContext& context);

// The text to write: converted from code page 1251 to 866 when bDOScoding is on, else unchanged.
// Any length. Takes the text by value: an unchanged text is handed back without a copy.
std::string ConvertCoding(std::string text);

}  // namespace epd::exporter
