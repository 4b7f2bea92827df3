#pragma once

#include <optional>

#include "platform/regional.h"
#include "sql/ast.h"
#include "tables/dbf_layout.h"
#include "tables/table_file.h"
#include "tables/table_scan.h"

// The records of a table that satisfy a bound WHERE condition, read by the storage's block scan:
// the condition's `column = constant` becomes the scan's byte-level probe (and its key in the
// scan cache), and every record that passes the probe is then put to the whole condition.
namespace epd::sql {

// The first top-level conjunct of `where` of the form column = constant (either way round, the
// constant a literal or a bound parameter) that the storage can test on the field's bytes.
std::optional<tables::EqualityProbe> FindProbe(const Expr* where, const tables::TableLayout& layout);

// A scan of the records for which `where` holds (every live record when it is null). `where` and
// `format` must outlive the scan.
tables::TableScan ScanWhere(tables::TableFile& file, const Expr* where, const platform::RegionalFormat& format,
                            bool record_runs);

}  // namespace epd::sql
