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
// that hold each value of the column; a later query on the same column of the same file reads
// only the runs of its value instead of the whole table. The caller re-checks every record it
// reads against its full condition, so an entry can only narrow the reading; what it must never
// do is leave out a record that holds the value, and what follows is when it is trusted to.
//
// An entry describes the first `known` records of one file, as they were when they were read,
// deleted ones included (a search skips those as it reads them, so a deletion mark set or cleared
// by anyone changes nothing an entry says). It is used as it stands while the file's state is
// the one it was made for: the same size, modification time, identity (device and inode, or
// volume and file index) and header record count. The engine's own writes keep it so: an
// in-place update of other columns (DLVCHN) moves it on to the new state, an update of its own
// column drops it, the engine's appends extend it, a truncation drops it.
//
// A file another program changed is otherwise read whole again, with one exception: a file that
// only grew by appended records, as the host's tables grow when it receives invoices. That is a
// file of the same identity and layout (the column key's signature covers the header and record
// lengths and every field descriptor) whose header counts more records and which is longer.
// Before the entry is trusted for its old records, a sample of them is read again and their
// column must hold the values recorded: the two records on either side of the first run boundary
// at or after each of 16 to 32 places spread over the file (the record before the start of a
// value's run and the run's first: a pack or an insertion that moves records shows there as a
// value that changed sides) and the last record the entry knew. Any difference, or a file that
// is not of that shape, and the table is read whole. Otherwise only the records from `known` on
// are read, and the entry takes them.
//
// What goes unseen, by design: a change to the searched column of an old record outside the
// sample, made by another program between two searches between which the file also grew; a
// rewrite that grows the file and moves records (a pack followed by new records, say) while every
// sampled record still holds its value (where the values grow along the file, as message numbers
// do, a move changes the sampled pair of every boundary after it and the last record, so only
// values that come back can hide one); a different file put in place under the same identity (a
// POSIX file system may give a freed inode number to the next new file) whose sampled records
// agree. The host makes none of these: between two exports it appends the invoices it received,
// header and lines at the end of cat_epd.dbf and body_epd.dbf, never renumbers the records of an
// old invoice, and what it changes in old records are other columns. Checking every old record
// would be a full read; the sample costs at most 33 small reads per table.
//
// Like the rest of the library it is used from one thread at a time (every entry point runs on
// the host's calling thread).
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
    std::uint64_t signature = 0;  // of the field descriptors and the header and record lengths
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

  // Collects runs during a scan in record order: of the whole table, or of the records a table
  // grew by.
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
  bool enabled() const { return enabled_ && !suspended_; }
  // While suspended the cache serves no search and learns from none, but keeps what it knows and
  // still follows the engine's own writes: a test compares searches with full readings of the
  // same files in one process.
  void SetSuspended(bool suspended) { suspended_ = suspended; }
  // The most runs one column may take (16 bytes each).
  std::size_t MaxRunsPerColumn() const { return max_runs_per_column_; }
  // Tables with fewer records are scanned without recording: reading them costs next to nothing.
  std::uint32_t MinRecords() const { return min_records_; }
  void SetLimits(std::size_t max_runs_per_column, std::size_t max_total_bytes, std::uint32_t min_records);

  // The runs holding `value_key` when an entry for the column stands for `state`; nothing
  // otherwise (the caller then follows the growth of the file, or scans it). An entry for
  // another state is dropped unless the file may only have grown since.
  std::optional<std::vector<RecordRun>> Find(const ColumnKey& column, const FileState& state, std::uint64_t value_key);
  // Records the runs of a full scan that covered the records [0, known) (fewer than the table's
  // count where an end marker stood in place of a record).
  void Store(const ColumnKey& column, const FileState& state, std::uint32_t known, Recorder&& recorder);

  // A record whose column an entry expects to hold a value (`has_key`, `key`) or none.
  struct Sample {
    std::uint32_t record = 0;
    bool has_key = false;
    std::uint64_t key = 0;
  };
  // What an entry for the column needs checked before it follows a file that looks grown since:
  // the file now (`state`, `count` records) has the entry's identity, more records in its header
  // and more bytes. The entry stands for `before` and describes the records [0, known); the
  // caller reads `samples` (in record order) again, and then the records from `known` on.
  struct Growth {
    FileState before;
    std::uint32_t known = 0;
    std::vector<Sample> samples;
  };
  std::optional<Growth> GrowthOf(const ColumnKey& column, const FileState& state, std::uint32_t count);
  // The records [growth.known, end) read from the file in `state`, their runs in `added`: the
  // entry that stood for `before` takes them and stands for `state`. False when it could not
  // (gone meanwhile, or over the limits) and was dropped.
  bool Grow(const ColumnKey& column, const FileState& before, const FileState& state, std::uint32_t end,
            Recorder&& added);
  // A sampled record no longer holds what the entry says: the entry goes.
  void Drop(const ColumnKey& column);
  // The records the entries of a file would read again before following its growth, for tests.
  std::vector<std::uint32_t> SampledRecords(std::string_view path) const;

  // The file was changed by this engine in a way no entry can follow (truncation, say).
  void Forget(std::string_view path);
  // Whether any entry describes a column of the file.
  bool HasEntries(std::string_view path) const;
  // This engine appended the records [first, first + count) and counted them in the header,
  // nothing else: entries that matched `before` and knew every record before `first` take the
  // new records' runs and stand for `after`; the others are dropped. `key_of(column, record,
  // &key)` gives a new record's value key for an entry's column (false: no value, as a blank
  // field), `record` running from 0.
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
    std::uint64_t grows = 0;   // entries that followed records another program appended
  };
  const Stats& stats() const { return stats_; }

 private:
  ScanCache() = default;
  using Run = Recorder::Run;
  // Two records either side of a place where a run begins: `record` is the run's first,
  // `before` (when `record` > 0) what its predecessor held.
  struct Boundary {
    std::uint32_t record = 0;
    Sample before, at;
  };
  struct Entry {
    ColumnKey column;
    FileState state;
    std::uint32_t known = 0;        // the records [0, known) are described
    std::vector<Run> runs;          // sorted by key, then record
    std::vector<Boundary> sampled;  // in record order
    std::uint32_t spacing = 1;      // records between the places sampled
    Sample last;                    // record known - 1
  };
  using Entries = std::list<Entry>;
  // Places sampled spread over the records a full scan read; growth adds more at the same
  // spacing, up to twice as many, and then every other one goes.
  static constexpr std::size_t kPlaces = 16;

  static bool ByKey(const Run& a, const Run& b) { return a.key != b.key ? a.key < b.key : a.first < b.first; }
  static bool MayHaveGrown(const FileState& was, const FileState& now);
  // Samples the boundaries at the places in [from, to) from `runs` of those records in record
  // order; `previous` is what record from - 1 holds.
  static void AddBoundaries(const std::vector<Run>& runs, std::uint32_t from, std::uint32_t to, std::uint32_t spacing,
                            const Sample& previous, std::vector<Boundary>* out);
  // What record to - 1 holds, from `runs` of the records [from, to) in record order.
  static Sample LastOf(const std::vector<Run>& runs, std::uint32_t from, std::uint32_t to, const Sample& previous);
  static std::vector<Sample> SamplesOf(const Entry& entry);
  // Joins each run from `from` on with the one before it where both are of one value and follow
  // each other.
  static void Coalesce(std::vector<Run>* runs, std::size_t from);
  Entries::iterator Locate(const ColumnKey& column);
  Entries::iterator Erase(Entries::iterator it, bool count_drop);
  // Takes the runs of the records [entry.known, end), in record order, into the entry.
  bool Extend(Entry& entry, std::vector<Run>&& added, std::uint32_t end);
  void EvictOver(std::size_t budget);
  // The memory an entry holds: the room taken, not only the runs in it.
  static std::size_t BytesOf(const Entry& e) {
    return e.runs.capacity() * sizeof(Run) + e.sampled.capacity() * sizeof(Boundary);
  }

  Entries entries_;  // most recently used first
  std::size_t bytes_ = 0;
  bool enabled_ = true;
  bool suspended_ = false;
  std::size_t max_runs_per_column_ = 1u << 20;
  std::size_t max_total_bytes_ = 32u << 20;
  std::uint32_t min_records_ = 2048;
  Stats stats_;
};

}  // namespace epd::tables
