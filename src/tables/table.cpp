#include "tables/table.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <variant>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "tables/cell_reading.h"
#include "tables/field_codec.h"
#include "tables/field_copy.h"
#include "tables/key_match.h"
#include "tables/raw_field.h"
#include "tables/scan_cache.h"
#include "tables/table_errors.h"
#include "tables/table_file.h"
#include "tables/table_scan.h"
#include "tables/write_generation.h"

namespace epd::tables {
namespace {

// A walk reads records in chunks that start small, so that opening a table and reading its first
// record or two costs one small read, and grow while the walk goes on, so that a whole table is
// read in few large reads.
constexpr std::size_t kFirstChunkBytes = 4 * 1024;
constexpr std::size_t kChunkBytes = 256 * 1024;

// Chunk buffers of closed handles, kept for the next ones: fresh memory costs a page fault per
// page when a read first fills it, and every export opens its tables anew. Never destroyed, so
// that a handle released late still finds it; one thread at a time, like the whole engine.
std::vector<std::unique_ptr<char[]>>& FreeChunks() {
  static auto* free = new std::vector<std::unique_ptr<char[]>>();
  return *free;
}

std::unique_ptr<char[]> TakeChunk() {
  auto& free = FreeChunks();
  if (free.empty()) return std::unique_ptr<char[]>(new char[kChunkBytes]);  // filled by reads, never cleared
  std::unique_ptr<char[]> chunk = std::move(free.back());
  free.pop_back();
  return chunk;
}

void GiveBackChunk(std::unique_ptr<char[]> chunk) {
  if (chunk && FreeChunks().size() < 4) FreeChunks().push_back(std::move(chunk));
}

std::vector<std::string> SplitColumns(std::string_view list) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string_view::npos) end = list.size();
    std::string_view name = list.substr(start, end - start);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    out.emplace_back(name);
    start = end + 1;
  }
  return out;
}

class TableImpl final : public Table {
 public:
  explicit TableImpl(std::unique_ptr<TableFile> file) : file_(std::move(file)) {
    record_.resize(layout().record_length);
    First();
  }
  ~TableImpl() override { GiveBackChunk(std::move(chunk_)); }

  const std::string& path() const override { return path_copy(); }

  void First() override {
    PostPending();
    RefreshCount(true);
    MoveToLive(0);
  }

  void Next() override {
    PostPending();
    if (eof_) return;
    RefreshCount(false);
    MoveToLive(current_ + 1);
  }

  bool Eof() const override { return eof_ && !appending_; }

  bool Locate(std::string_view columns, const std::vector<Value>& keys) override {
    PostPending();
    RequireOpen();
    const std::vector<std::string> names = SplitColumns(columns);
    if (names.size() != keys.size())
      ThrowTableError(path(), Cat("число значений поиска не совпадает с числом полей: "_cp, columns));
    std::vector<const FieldInfo*> fields;
    for (const std::string& n : names) fields.push_back(&Field(n));
    const platform::RegionalFormat format = platform::CurrentRegionalFormat();
    MemoFile* memo = file_->memo();
    std::vector<KeyMatcher> matchers;
    for (std::size_t k = 0; k < fields.size(); ++k) matchers.emplace_back(layout(), *fields[k], memo, keys[k], format);
    if (fields.size() == 1 && ScanCache::Instance().enabled()) {
      const FieldClass cls = ClassOf(layout(), *fields[0]);
      const Value& key = keys[0];
      if ((cls == FieldClass::kInteger || cls == FieldClass::kNumber) &&
          (std::holds_alternative<std::int32_t>(key) || std::holds_alternative<double>(key))) {
        const double number = std::holds_alternative<double>(key) ? std::get<double>(key) : std::get<std::int32_t>(key);
        return LocateNumber(*fields[0], matchers[0], number);
      }
    }
    RefreshCount(true);
    for (std::uint32_t n = 0; n < count_; ++n) {
      // A search reads on until it finds: full chunks from the start.
      const char* rec = RecordAt(n, kChunkBytes);
      if (rec == nullptr || rec[0] == 0x1A) break;
      if (rec[0] == '*') continue;
      bool all = true;
      for (std::size_t k = 0; k < matchers.size() && all; ++k) all = matchers[k].Matches(rec);
      if (all) {
        SetCurrent(n, rec);
        return true;
      }
    }
    return false;
  }

  // Locate of a number in one numeric column, as the export searches its outputs for an earlier
  // copy of an invoice: the scan cache tells where the number's records lie while the file is as
  // it knew it (its own appends followed, and appends by others once its sample of the old
  // records holds), and a walk of the whole table teaches it. Every record it names is still
  // checked against the key.
  bool LocateNumber(const FieldInfo& field, const KeyMatcher& matcher, double number) {
    ScanCache& cache = ScanCache::Instance();
    // An append run's records lie past the header's count, which bounds the search: they need
    // not be written for it.
    const TableFile::State now = file_->Observe();  // the count as RefreshCount takes it, and the stamp
    count_ = now.count;
    chunk_count_ = 0;
    seen_generation_ = WriteGeneration();
    const ScanCache::FileState state{now.stamp, now.stored_count};
    const ScanCache::ColumnKey column{ScanCache::NormalisePath(path()), layout().signature,
                                      static_cast<std::uint32_t>(&field - layout().fields.data()), field.offset,
                                      field.length};
    std::optional<std::vector<RecordRun>> runs = cache.Find(column, state, ScanCache::NumberKey(number));
    if (!runs && FollowGrowth(*file_, column, state, count_))
      runs = cache.Find(column, state, ScanCache::NumberKey(number));
    if (runs) {
      for (const RecordRun& run : *runs) {
        for (std::uint32_t n = run.first; n < run.first + run.count && n < count_; ++n) {
          const char* rec = RecordAt(n);
          if (rec == nullptr || rec[0] == 0x1A) return false;
          if (rec[0] == '*' || !matcher.Matches(rec)) continue;
          SetCurrent(n, rec);
          return true;
        }
      }
      return false;
    }
    // Small tables are cheap to walk; an output that grows by appends is taught early, since
    // the cache then follows its appends instead of it being walked for every invoice.
    std::optional<ScanCache::Recorder> recorder;
    if (count_ >= std::min<std::uint32_t>(cache.MinRecords(), 64)) recorder.emplace(cache.MaxRunsPerColumn(), count_);
    bool found = false;
    bool whole = true;
    std::uint32_t known = count_;
    for (std::uint32_t n = 0; n < count_; ++n) {
      const char* rec = RecordAt(n, kChunkBytes);
      if (rec == nullptr || rec[0] == 0x1A) {
        whole = rec != nullptr;  // a file shorter than its count is not recorded
        known = n;
        break;
      }
      // Deleted records are recorded too (an entry does not depend on deletion marks), never found.
      if (recorder) {
        std::uint64_t key;
        if (ScanCache::ValueKeyOf(layout(), field, rec, &key)) recorder->Add(n, key);
      }
      if (rec[0] == '*') continue;
      if (!found && matcher.Matches(rec)) {
        SetCurrent(n, rec);
        found = true;
        if (!recorder) return true;  // else the walk goes on for the recorder
      }
    }
    if (recorder && whole) cache.Store(column, state, known, std::move(*recorder));
    return found;
  }

  void Append() override {
    PostPending();
    RequireOpen();
    if (blank_.empty()) {  // the blank record, made once per handle
      blank_.assign(layout().record_length, ' ');
      for (const FieldInfo& f : layout().fields) EncodeBlank(layout(), f, blank_.data());
    }
    pending_ = blank_;
    appending_ = true;
  }

  void SetAsString(std::string_view column, std::string_view text) override { Assign(Field(column), text); }

  void SetAsStringAt(int index, std::string_view text) override { Assign(FieldAt(index), text); }

  void SetFromAt(int index, const RowReader& source, int source_index, bool to_866) override {
    const FieldInfo& field = FieldAt(index);
    RawField raw;
    LazyRegionalFormat format;
    if (appending_ && source.RawFieldAt(source_index, &raw) &&
        CopyAsText(raw, layout(), field, pending_.data(), format, to_866))
      return;
    std::string text = source.AsStringAt(source_index);
    Assign(field, to_866 ? platform::Cp1251ToCp866(text) : text);
  }

  bool RawFieldAt(int index, RawField* out) const override {
    if (!file_ || index < 0 || index >= static_cast<int>(layout().fields.size())) return false;
    const char* rec = appending_ ? pending_.data() : !eof_ && current_ >= 0 ? record_.data() : nullptr;
    if (rec == nullptr) return false;
    *out = RawField{&layout(), &layout().fields[static_cast<std::size_t>(index)], rec};
    return true;
  }

  void Assign(const FieldInfo& field, std::string_view text) {
    RequireOpen();
    if (!appending_) ThrowTableError(path(), Cat("запись не добавляется: присвоение значения полю "_cp, field.name));
    std::string why;
    // The record stays as it was when the value is refused.
    if (!EncodeUserText(layout(), field, text, platform::CurrentRegionalFormat(), pending_.data(), file_->memo(), &why))
      ThrowBadValue(path(), field.name, text, why);
  }

  void Post() override {
    RequireOpen();
    if (!appending_) return;
    std::uint32_t number;
    if (run_) {
      number = run_next_;
      file_->PrepareNewRecord(number, pending_.data());
      run_buffer_.append(pending_.data(), pending_.size());
      ++run_next_;
    } else {
      number = file_->AppendRecord(pending_.data());
    }
    appending_ = false;
    record_ = pending_;
    current_ = number;
    eof_ = false;
    Invalidate();
    // Last, so that a failing write leaves the record posted once, in the collection.
    if (run_ && run_buffer_.size() >= kChunkBytes) FlushRun();
  }

  void Cancel() override { appending_ = false; }

  void BeginAppendRun() override {
    PostPending();
    RequireOpen();
    CommitRun();
    run_next_ = file_->CurrentCount();
    run_first_ = run_next_;
    run_written_ = run_next_;
    run_buffer_.clear();
    run_ = true;
  }

  void EndAppendRun() override {
    PostPending();
    RequireOpen();
    CommitRun();
  }

  std::uint32_t AppendedCount() override {
    PostPending();
    RequireOpen();
    return run_ ? run_next_ : file_->CurrentCount();
  }

  void TakeBack(std::uint32_t record) override {
    RequireOpen();
    appending_ = false;
    if (!run_ || record < run_first_) return TruncateRecords(record);
    if (record >= run_next_) return;
    if (record < run_written_) {
      file_->CutPastCount(record);
      run_written_ = record;
      run_buffer_.clear();
    } else {
      run_buffer_.resize(static_cast<std::size_t>(record - run_written_) * layout().record_length);
    }
    run_next_ = record;
    Invalidate();
    if (current_ >= static_cast<std::int64_t>(record)) {
      current_ = -1;
      eof_ = true;
    }
  }

  void Sync() override {
    PostPending();
    RequireOpen();
    if (!file_->writable()) return;  // wrote nothing (and Windows syncs only what it may write)
    FlushRun();
    file_->file().Sync();
    if (MemoFile* memo = file_->memo()) memo->Sync();
  }

  platform::FileStamp Stamp() override {
    RequireOpen();
    return file_->file().Stamp();
  }

  std::uint32_t PhysicalRecordCount() override {
    RequireOpen();
    FlushRun();
    return file_->CurrentCount();
  }

  FileTail Tail() override {
    RequireOpen();
    FlushRun();
    platform::File& file = file_->file();
    FileTail tail;
    tail.size = file.Size();
    tail.header.resize(32);
    tail.header.resize(file.ReadAt(0, tail.header.data(), tail.header.size()));
    if (tail.size > 0) file.ReadAt(tail.size - 1, &tail.last, 1);
    tail.records = file_->CountFor(tail.header, tail.size);
    return tail;
  }

  void TruncateRecords(std::uint32_t count) override {
    RequireOpen();
    appending_ = false;
    run_ = false;  // the run's records are cut with the rest
    run_buffer_.clear();
    file_->Truncate(count);
    Invalidate();
    if (current_ >= static_cast<std::int64_t>(count)) {
      current_ = -1;
      eof_ = true;
    }
  }

  std::string DeletionFlags() override {
    RequireOpen();
    FlushRun();
    return file_->DeletionFlags(kChunkBytes);
  }

  void RestoreDeletionFlags(std::string_view flags) override {
    const std::string now = DeletionFlags();
    bool changed = false;
    for (std::size_t n = 0; n < std::min(now.size(), flags.size()); ++n) {
      if (now[n] == flags[n]) continue;
      file_->SetDeletionFlag(static_cast<std::uint32_t>(n), flags[n]);
      changed = true;
    }
    if (!changed) return;
    ScanCache::Instance().Forget(file_->path());
    Invalidate();
  }

  void Close() override {
    appending_ = false;  // a record appended but not posted is dropped, as ever
    if (file_) CommitRun();
    if (file_) path_after_close_ = file_->path();
    file_.reset();
    eof_ = true;
    current_ = -1;
  }

  int FieldIndex(std::string_view name) const override { return file_ ? layout().FieldIndex(name) : -1; }
  int FieldCount() const override { return file_ ? static_cast<int>(layout().fields.size()) : 0; }
  std::string FieldName(int index) const override {
    if (!file_ || index < 0 || index >= FieldCount()) return std::string();
    return layout().fields[static_cast<std::size_t>(index)].name;
  }

  std::string AsString(std::string_view column) const override {
    Cell cell = Decode(column);
    if (cell.kind == Cell::kText) return std::move(cell.text);  // what CellToText would copy
    return CellToText(cell, platform::CurrentRegionalFormat());
  }
  std::int32_t AsInteger(std::string_view column) const override {
    return CellToInteger(Decode(column), path(), Field(column).name);
  }
  bool AsBoolean(std::string_view column) const override {
    return CellToBoolean(Decode(column), path(), Field(column).name);
  }
  bool IsNull(std::string_view column) const override { return Decode(column).IsNull(); }

  std::string AsStringAt(int index) const override {
    Cell cell = Decode(FieldAt(index));
    if (cell.kind == Cell::kText) return std::move(cell.text);
    return CellToText(cell, platform::CurrentRegionalFormat());
  }
  bool AsBooleanAt(int index) const override {
    const FieldInfo& field = FieldAt(index);
    return CellToBoolean(Decode(field), path(), field.name);
  }

 private:
  const TableLayout& layout() const { return file_->layout(); }
  const std::string& path_copy() const { return file_ ? file_->path() : path_after_close_; }

  void RequireOpen() const {
    if (!file_) throw Error(Cat("Таблица закрыта: "_cp, path_after_close_));
  }

  const FieldInfo& Field(std::string_view column) const {
    RequireOpen();
    const int i = layout().FieldIndex(column);
    if (i < 0) ThrowNoColumn(path(), column);
    return layout().fields[static_cast<std::size_t>(i)];
  }

  const FieldInfo& FieldAt(int index) const {
    RequireOpen();
    if (index < 0 || index >= static_cast<int>(layout().fields.size()))
      ThrowNoColumn(path(), "#" + std::to_string(index));
    return layout().fields[static_cast<std::size_t>(index)];
  }

  Cell Decode(std::string_view column) const { return Decode(Field(column)); }

  Cell Decode(const FieldInfo& field) const {
    const char* rec = nullptr;
    if (appending_)
      rec = pending_.data();
    else if (!eof_ && current_ >= 0)
      rec = record_.data();
    else
      ThrowTableError(path(), Cat("нет текущей записи для чтения поля "_cp, field.name));
    return DecodeField(layout(), field, rec, file_->memo());
  }

  void PostPending() {
    if (appending_) Post();
  }

  // The run's records go to the file in few large writes: collected here, written when the
  // collection reaches a chunk's size and before anything reads the file or counts them.
  void FlushRun() {
    if (run_buffer_.empty()) return;
    file_->WriteNewRecords(run_written_, run_buffer_);
    run_written_ = run_next_;
    run_buffer_.clear();
  }

  void CommitRun() {
    if (!run_) return;
    FlushRun();
    run_ = false;
    if (run_next_ != run_first_) file_->CommitCount(run_next_);
    Invalidate();
  }

  void Invalidate() {
    chunk_count_ = 0;
    seen_generation_ = 0;
  }

  // The record count is read again at the start of a walk and whenever this process wrote to any
  // table since it was read.
  void RefreshCount(bool always) {
    RequireOpen();
    FlushRun();
    const std::uint64_t generation = WriteGeneration();
    if (always || generation != seen_generation_) {
      count_ = file_->CurrentCount();
      chunk_count_ = 0;
      seen_generation_ = generation;
    }
  }

  // The bytes of record `n` from the chunk buffer, reading the chunk when needed; null when the
  // file does not hold it.
  const char* RecordAt(std::uint32_t n, std::size_t first_chunk_bytes = kFirstChunkBytes) {
    const std::uint32_t len = layout().record_length;
    if (n < chunk_first_ || n >= chunk_first_ + chunk_count_) {
      // The next chunk of a walk is twice the last one; a jump elsewhere starts small again.
      const bool onward = chunk_count_ > 0 && n == chunk_first_ + chunk_count_;
      const std::size_t bytes = onward ? std::min(chunk_bytes_ * 2, kChunkBytes) : first_chunk_bytes;
      const std::uint32_t per_chunk = static_cast<std::uint32_t>(std::max<std::size_t>(1, bytes / len));
      const std::uint32_t want = std::min(per_chunk, count_ - n);
      if (!chunk_) chunk_ = TakeChunk();  // kChunkBytes hold any chunk: a record is below 64 KiB
      chunk_bytes_ = bytes;
      chunk_first_ = n;
      chunk_count_ = file_->ReadRecords(n, want, chunk_.get());
      if (chunk_count_ == 0) return nullptr;
    }
    return chunk_.get() + static_cast<std::size_t>(n - chunk_first_) * len;
  }

  void MoveToLive(std::int64_t from) {
    for (std::int64_t n = from; n < static_cast<std::int64_t>(count_); ++n) {
      const char* rec = RecordAt(static_cast<std::uint32_t>(n));
      if (rec == nullptr || rec[0] == 0x1A) break;  // the end marker where a record should be
      if (rec[0] == '*') continue;
      SetCurrent(static_cast<std::uint32_t>(n), rec);
      return;
    }
    eof_ = true;
    current_ = count_;
  }

  void SetCurrent(std::uint32_t n, const char* rec) {
    std::memcpy(record_.data(), rec, record_.size());
    current_ = n;
    eof_ = false;
  }

  std::unique_ptr<TableFile> file_;
  std::string path_after_close_;
  std::vector<char> record_;
  std::int64_t current_ = -1;
  bool eof_ = true;
  std::uint32_t count_ = 0;
  std::uint64_t seen_generation_ = 0;
  std::unique_ptr<char[]> chunk_;  // kChunkBytes
  std::size_t chunk_bytes_ = 0;    // the size asked for the chunk held
  std::uint32_t chunk_first_ = 0;
  std::uint32_t chunk_count_ = 0;
  bool appending_ = false;
  std::vector<char> pending_;
  std::vector<char> blank_;
  bool run_ = false;  // an append run: records written, the header not yet
  std::uint32_t run_first_ = 0;
  std::uint32_t run_next_ = 0;
  std::uint32_t run_written_ = 0;  // the run's records below this are in the file
  std::string run_buffer_;         // the run's records from run_written_ on
};

}  // namespace

std::unique_ptr<Table> Table::Open(const std::string& path) {
  return std::make_unique<TableImpl>(TableFile::Open(path, TableFile::Access::kReadWrite));
}

}  // namespace epd::tables
