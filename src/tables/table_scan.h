#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/regional.h"
#include "tables/cell.h"
#include "tables/scan_cache.h"
#include "tables/sql_ast.h"
#include "tables/table_file.h"

// One pass over the live records of a table that satisfy a bound condition. The file is read in
// large blocks into one buffer; a top-level `column = constant` of the condition is tested first
// straight on the field's bytes, so only the records that pass it are decoded further. That same
// test feeds the process-wide scan cache: a pass over a large table records where each value of
// the column lies, and a later pass over the same unchanged file reads only the records of its
// value, each still checked against the whole condition.
namespace epd::tables {

struct EqualityProbe {
  int field = -1;
  Cell constant;  // a number (numeric field) or a text (character field)
};

// The first top-level conjunct of `where` of the form column = constant that can be tested on
// the field's bytes.
std::optional<EqualityProbe> FindProbe(const sql::Expr* where, const TableLayout& layout);

// The value key the scan cache keeps for a record's field, as a scan probing that field records
// it; false when the field has none (blank, or a class no probe tests).
bool ValueKeyOf(const TableLayout& layout, const FieldInfo& field, const char* record, std::uint64_t* key);

class TableScan {
 public:
  // `record_runs`: whether a full pass may leave what it learned in the scan cache.
  TableScan(TableFile& file, const sql::Expr* where, const platform::RegionalFormat& format, bool record_runs);

  // Calls `visit(record number, record bytes)` for every live record that satisfies the
  // condition, in record order. The bytes stay valid during the call only.
  void Run(const std::function<void(std::uint32_t, const char*)>& visit);

  // The state of the file when the pass began.
  const ScanCache::FileState& state() const { return state_; }
  bool state_known() const { return state_known_; }
  // Whether the last Run was served by the scan cache.
  bool used_cache() const { return used_cache_; }

 private:
  bool ProbeMatches(const char* record, std::uint64_t* key, bool* has_key) const;
  template <typename Probe>
  void ScanBlocks(std::uint32_t count, ScanCache::Recorder* recorder, Probe probe,
                  const std::function<void(std::uint32_t, const char*)>& visit);
  bool Accept(const char* record) const;
  void ReadRuns(const std::vector<RecordRun>& runs, const std::function<void(std::uint32_t, const char*)>& visit);

  TableFile& file_;
  const sql::Expr* where_;
  const platform::RegionalFormat& format_;
  bool record_runs_;
  std::optional<EqualityProbe> probe_;
  std::uint64_t probe_key_ = 0;
  double probe_number_ = 0;
  std::string probe_text_;
  ScanCache::FileState state_;
  bool state_known_ = false;
  bool used_cache_ = false;
};

}  // namespace epd::tables
