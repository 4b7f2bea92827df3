#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "tables/cell.h"
#include "tables/scan_cache.h"
#include "tables/table_file.h"

// One pass over the live records of a table that pass a test. The file is read in large blocks
// into one buffer; an equality probe (a field against a constant) is tested first straight on
// the field's bytes, so only the records that pass it reach the caller's test. That same probe
// feeds the process-wide scan cache: a pass over a large table records where each value of the
// field lies, and a later pass over the same unchanged file, or over the same file grown by
// appended records (FollowGrowth), reads only the records of its value, each still put to the
// caller's test.
namespace epd::tables {

// A record passes when its field holds the constant: a number field's value equals the number;
// a character field's bytes, without trailing blanks and NULs, equal the text without trailing
// blanks.
struct EqualityProbe {
  int field = -1;
  Cell constant;  // a number (numeric field) or a text (character field)
};

// Whether the probe can be tested on the record bytes of tables of this layout: a number against
// an integer or number field; a text against a character field, only where no code page
// conversion stands between the bytes and the text.
bool CanProbe(const TableLayout& layout, int field, const Cell& constant);

// The caller's test of a record that passed the probe (of every record without one).
using RecordTest = std::function<bool(const char* record)>;

// Brings the scan cache's entry for `column` up to the file as it is now (`state`, `count`
// records) when the file only grew since the entry was made: checks the records the entry
// samples and reads the records it does not know yet. True when the entry now stands for
// `state`; false when there was none to follow or the file was changed otherwise (the entry is
// then gone, and the caller reads the table whole).
bool FollowGrowth(TableFile& file, const ScanCache::ColumnKey& column, const ScanCache::FileState& state,
                  std::uint32_t count);

class TableScan {
 public:
  // `probe`: one that CanProbe accepts, or none. `accept`: empty to take every record that passes
  // the probe. `record_runs`: whether a full pass may leave what it learned in the scan cache.
  TableScan(TableFile& file, std::optional<EqualityProbe> probe, RecordTest accept, bool record_runs);

  // Calls `visit(record number, record bytes)` for every live record that passes the probe and
  // the test, in record order. The bytes stay valid during the call only.
  void Run(const std::function<void(std::uint32_t, const char*)>& visit);

  // The state of the file when the pass began.
  const ScanCache::FileState& state() const { return state_; }
  bool state_known() const { return state_known_; }
  // Whether the last Run was served by the scan cache.
  bool used_cache() const { return used_cache_; }

 private:
  bool ProbeMatches(const char* record, std::uint64_t* key, bool* has_key) const;
  template <typename Probe>
  std::uint32_t ScanBlocks(std::uint32_t count, ScanCache::Recorder* recorder, Probe probe,
                           const std::function<void(std::uint32_t, const char*)>& visit);
  bool Accept(const char* record) const;
  void ReadRuns(const std::vector<RecordRun>& runs, const std::function<void(std::uint32_t, const char*)>& visit);

  TableFile& file_;
  RecordTest accept_;
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
