#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

// What earlier scans learned about where the values of a column lie, kept for the whole process.
// A query `column = constant` over a large table records, while it scans, the runs of records
// that hold each value of the column; a later query on the same column of the same, provably
// unchanged file reads only the runs of its value instead of the whole table. "Unchanged" means
// the same size, modification time, identity and header record count as when the runs were
// recorded; the engine's own in-place updates of other columns keep an entry, its appends extend
// it, its truncations drop it, and a file changed by anything else simply no longer matches. The caller
// re-checks every record it reads against its full condition, so an entry can only narrow the
// reading, never change a result. Like the rest of the library it is used from one thread at a
// time (every entry point runs on the host's calling thread).
namespace epd::tables {

struct FieldInfo;
struct TableLayout;

struct RecordRun {
  std::uint32_t first = 0;
  std::uint32_t count = 0;
};

class ScanCache {
 public:
  static ScanCache& Instance();

  // Identifies the column: the table file, its structure and the field.
  struct ColumnKey {
    std::string path;             // normalised
    std::uint64_t signature = 0;  // of the field descriptors
    std::uint32_t field = 0;
    std::uint32_t field_offset = 0;  // the field's bytes in the record
    std::uint32_t field_length = 0;
  };
  // The state of the file the runs describe.
  struct FileState {
    platform::FileStamp stamp;
    std::uint32_t header_count = 0;
    bool operator==(const FileState&) const = default;
  };

  // Collects runs during one full scan in record order.
  class Recorder {
   public:
    // `expected_runs`: room taken at once, so that a long scan does not copy its runs again and
    // again as they grow.
    explicit Recorder(std::size_t max_runs, std::size_t expected_runs = 0) : max_runs_(max_runs) {
      runs_.reserve(std::min(max_runs, expected_runs));
    }
    void Add(std::uint32_t record, std::uint64_t value_key) {
      if (abandoned_) return;
      if (!runs_.empty()) {
        Run& last = runs_.back();
        if (last.key == value_key && last.first + last.count == record) {
          ++last.count;
          return;
        }
      }
      if (runs_.size() >= max_runs_) {
        abandoned_ = true;
        std::vector<Run>().swap(runs_);
        return;
      }
      runs_.push_back(Run{value_key, record, 1});
    }
    bool abandoned() const { return abandoned_; }

   private:
    friend class ScanCache;
    struct Run {
      std::uint64_t key;
      std::uint32_t first;
      std::uint32_t count;
    };
    std::vector<Run> runs_;
    std::size_t max_runs_;
    bool abandoned_ = false;
  };

  static std::string NormalisePath(std::string_view path);
  // The value keys of the runs: a number's bits (-0 as 0), or a hash of a text's bytes.
  static std::uint64_t NumberKey(double v);
  static std::uint64_t TextKey(std::string_view bytes);
  // The value key of a record's field, as a scan probing the field records it (TableScan derives
  // the same key on its own, faster, while it probes); false when the field has none: blank, or
  // of a class no probe tests.
  static bool ValueKeyOf(const TableLayout& layout, const FieldInfo& field, const char* record, std::uint64_t* key);

  void SetEnabled(bool enabled);
  bool enabled() const { return enabled_; }
  // The most runs one column may take (16 bytes each).
  std::size_t MaxRunsPerColumn() const { return max_runs_per_column_; }
  // Tables with fewer records are scanned without recording: reading them costs next to nothing.
  std::uint32_t MinRecords() const { return min_records_; }
  void SetLimits(std::size_t max_runs_per_column, std::size_t max_total_bytes, std::uint32_t min_records);

  // The runs holding `value_key` when an entry for the column matches `state`; nothing when
  // there is no such entry (the caller then scans the table).
  std::optional<std::vector<RecordRun>> Find(const ColumnKey& column, const FileState& state, std::uint64_t value_key);
  void Store(const ColumnKey& column, const FileState& state, Recorder&& recorder);

  // The file was changed by this engine in a way no entry can follow (truncation, say).
  void Forget(std::string_view path);
  // Whether any entry describes a column of the file.
  bool HasEntries(std::string_view path) const;
  // This engine appended the records [first, first + count) and counted them in the header,
  // nothing else: entries that matched `before` take the new records' runs and stand for
  // `after`; the others are dropped. `key_of(column, record, &key)` gives a new record's value
  // key for an entry's column (false: no value, as a blank field), `record` running from 0.
  void NoteAppend(std::string_view path, const FileState& before, const FileState& after, std::uint32_t first,
                  std::uint32_t count,
                  const std::function<bool(const ColumnKey&, std::uint32_t, std::uint64_t*)>& key_of);
  // This engine rewrote records in place, changing only the bytes [changed_begin, changed_end)
  // of each record. Entries of other columns that matched the state before stay valid for the
  // state after; the others are dropped.
  void NoteInPlaceWrite(std::string_view path, const FileState& before, const FileState& after,
                        std::uint32_t changed_begin, std::uint32_t changed_end);

  void Clear();
  std::size_t MemoryBytes() const;

  // What the cache did since the process started, for tests and benchmarks.
  struct Stats {
    std::uint64_t hits = 0;    // passes served from an entry
    std::uint64_t stores = 0;  // entries recorded
    std::uint64_t drops = 0;   // entries dropped because their file changed
  };
  const Stats& stats() const { return stats_; }

 private:
  ScanCache() = default;
  struct Entry {
    ColumnKey column;
    FileState state;
    std::vector<Recorder::Run> runs;  // sorted by key, then record
  };
  void EvictOver(std::size_t budget);
  // The memory an entry's runs hold: the room taken, not only the runs in it.
  static std::size_t BytesOf(const std::vector<Recorder::Run>& runs) { return runs.capacity() * sizeof(Recorder::Run); }

  std::list<Entry> entries_;  // most recently used first
  std::size_t bytes_ = 0;
  bool enabled_ = true;
  std::size_t max_runs_per_column_ = 1u << 20;
  std::size_t max_total_bytes_ = 32u << 20;
  std::uint32_t min_records_ = 2048;
  Stats stats_;
};

}  // namespace epd::tables
