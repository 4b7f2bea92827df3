#include "tables/table_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/coding.h"
#include "platform/error.h"
#include "platform/text.h"
#include "tables/calendar.h"
#include "tables/scan_cache.h"
#include "tables/table_errors.h"
#include "tables/write_generation.h"

namespace epd::tables {
namespace {

// The layout the header bytes give. The same tables are opened again and again (every export
// opens the host's tables and the outputs anew), so the layouts of the last few headers are
// kept and taken again for the very same bytes. One thread at a time, like the whole engine.
TableLayout LayoutOf(const std::string& path, const std::vector<unsigned char>& head) {
  struct Known {
    std::vector<unsigned char> head;
    TableLayout layout;
  };
  static std::vector<Known> known;  // most recent first
  constexpr std::size_t kKept = 8;
  // The date of last update and the record count (bytes 1 to 7) change with every append; the
  // layout takes only the count from them.
  auto same = [&head](const std::vector<unsigned char>& other) {
    return other.size() == head.size() && head.size() >= 8 && other[0] == head[0] &&
           std::equal(head.begin() + 8, head.end(), other.begin() + 8);
  };
  for (std::size_t i = 0; i < known.size(); ++i) {
    if (same(known[i].head)) {
      std::rotate(known.begin(), known.begin() + static_cast<std::ptrdiff_t>(i),
                  known.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      TableLayout layout = known.front().layout;
      layout.header_count = platform::GetLe32(head.data() + 4);
      return layout;
    }
  }
  TableLayout layout = ParseLayout(path, head.data(), head.size());
  known.insert(known.begin(), Known{head, layout});
  if (known.size() > kKept) known.pop_back();
  return layout;
}

}  // namespace

std::unique_ptr<TableFile> TableFile::Open(const std::string& path, Access access) {
  std::unique_ptr<platform::File> file;
  bool writable = access == Access::kReadWrite;
  if (writable) {
    try {
      file = platform::OpenFile(path, platform::FileMode::kReadWrite);
    } catch (const Error&) {
      // A table on a read-only medium or with read-only rights still opens for reading; the
      // first write reports it. A missing file raises the same error from the second attempt.
      file = platform::OpenFile(path, platform::FileMode::kRead);
      writable = false;
    }
  } else {
    file = platform::OpenFile(path, platform::FileMode::kRead);
  }
  // The header up to its declared length and a little beyond, for the files whose declared
  // length falls short of their field descriptors. The first read takes enough for most tables.
  constexpr std::size_t kFirstRead = 4096;
  std::vector<unsigned char> head(kFirstRead);
  head.resize(file->ReadAt(0, head.data(), head.size()));
  const std::uint64_t declared = head.size() >= 10 ? head[8] | (head[9] << 8) : 0;
  const std::size_t want =
      static_cast<std::size_t>(std::min<std::uint64_t>(kMaxHeaderRead, std::max<std::uint64_t>(declared, 68) + 2048));
  if (want <= head.size()) {
    head.resize(want);
  } else if (head.size() == kFirstRead) {  // more header than the first read took
    head.resize(want);
    head.resize(kFirstRead + file->ReadAt(kFirstRead, head.data() + kFirstRead, want - kFirstRead));
  }
  return std::unique_ptr<TableFile>(new TableFile(path, std::move(file), writable, LayoutOf(path, head)));
}

TableFile::TableFile(std::string path, std::unique_ptr<platform::File> file, bool writable, TableLayout layout)
    : path_(std::move(path)), file_(std::move(file)), writable_(writable), layout_(std::move(layout)) {}

MemoFile* TableFile::memo() {
  if (!memo_opened_) {
    memo_opened_ = true;
    if (layout_.HasMemoFields()) memo_ = MemoFile::OpenBeside(path_, layout_, writable_);
  }
  return memo_.get();
}

void TableFile::RequireWritable() {
  if (!writable_) ThrowTableError(path_, "файл открыт только для чтения, запись невозможна"_cp);
}

std::uint32_t TableFile::ReadHeaderCount() {
  unsigned char b[4] = {0, 0, 0, 0};
  if (file_->ReadAt(4, b, 4) < 4) return 0;
  return platform::GetLe32(b);
}

std::uint32_t TableFile::WholeRecordsIn(std::uint64_t size) const {
  const std::uint64_t whole = size > layout_.header_length ? (size - layout_.header_length) / layout_.record_length : 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(whole, 0xFFFFFFFFu));
}

std::uint32_t TableFile::CurrentCount() {
  const std::uint32_t stored = ReadHeaderCount();
  return std::min(stored, WholeRecordsIn(file_->Size()));
}

std::uint32_t TableFile::CountFor(std::string_view header, std::uint64_t size) const {
  if (header.size() < 8) return 0;  // as ReadHeaderCount reads a file too short for the count
  const std::uint32_t stored = platform::GetLe32(reinterpret_cast<const unsigned char*>(header.data()) + 4);
  return std::min(stored, WholeRecordsIn(size));
}

TableFile::State TableFile::Observe() {
  State state;
  state.stamp = file_->Stamp();
  state.stored_count = ReadHeaderCount();
  state.count = std::min(state.stored_count, WholeRecordsIn(state.stamp.size));
  return state;
}

std::uint32_t TableFile::ReadRecords(std::uint32_t first, std::uint32_t count, char* buffer) {
  const std::uint64_t at = layout_.header_length + static_cast<std::uint64_t>(first) * layout_.record_length;
  const std::size_t got = file_->ReadAt(at, buffer, static_cast<std::size_t>(count) * layout_.record_length);
  return static_cast<std::uint32_t>(got / layout_.record_length);
}

std::string TableFile::DeletionFlags(std::size_t chunk_bytes) {
  const std::uint32_t count = CurrentCount();
  const std::uint32_t len = layout_.record_length;
  const std::uint32_t per_chunk = static_cast<std::uint32_t>(std::max<std::size_t>(1, chunk_bytes / len));
  std::vector<char> buffer(static_cast<std::size_t>(per_chunk) * len);
  std::string flags;
  flags.reserve(count);
  for (std::uint32_t n = 0; n < count;) {
    const std::uint32_t want = std::min(per_chunk, count - n);
    const std::uint32_t got = ReadRecords(n, want, buffer.data());
    for (std::uint32_t i = 0; i < got; ++i) flags += buffer[static_cast<std::size_t>(i) * len];
    if (got < want) break;
    n += got;
  }
  return flags;
}

void TableFile::WriteHeader(std::uint32_t count) {
  int y, m, d;
  CivilFromDays(TodayDays(), &y, &m, &d);
  unsigned char b[7];
  b[0] = static_cast<unsigned char>(std::clamp(y - 1900, 0, 255));
  b[1] = static_cast<unsigned char>(m);
  b[2] = static_cast<unsigned char>(d);
  platform::PutLe32(b + 3, count);
  file_->WriteAt(1, b, sizeof b);
}

void TableFile::WriteRecordPart(std::uint32_t number, const char* record, std::uint32_t begin, std::uint32_t end) {
  RequireWritable();
  end = std::min(end, layout_.record_length);
  if (begin >= end) return;
  const std::uint64_t at = layout_.header_length + static_cast<std::uint64_t>(number) * layout_.record_length + begin;
  file_->WriteAt(at, record + begin, end - begin);
  BumpWriteGeneration();
}

void TableFile::SetDeletionFlag(std::uint32_t number, char flag) {
  RequireWritable();
  const std::uint64_t at = layout_.header_length + static_cast<std::uint64_t>(number) * layout_.record_length;
  file_->WriteAt(at, &flag, 1);
  BumpWriteGeneration();
}

void TableFile::FillAutoIncrements(char* record) {
  if (layout_.family != DbfFamily::kDbase7) return;
  for (const FieldInfo& f : layout_.fields) {
    if (f.type != '+' || f.length != 4) continue;
    unsigned char next_bytes[4] = {0, 0, 0, 0};
    file_->ReadAt(f.descriptor_offset + 42, next_bytes, 4);
    std::uint32_t next = std::max<std::uint32_t>(platform::GetLe32(next_bytes), 1);
    char* p = record + f.offset;
    // Level 7 integers: big-endian with the sign bit flipped; all zero is blank.
    if (platform::GetBe32(p) == 0) {
      platform::PutBe32(p, next ^ 0x80000000u);
    } else {
      const std::uint32_t value = platform::GetBe32(p) ^ 0x80000000u;
      if (static_cast<std::int32_t>(value) < static_cast<std::int32_t>(next)) continue;
      next = value;
    }
    platform::PutLe32(next_bytes, next + 1);
    file_->WriteAt(f.descriptor_offset + 42, next_bytes, 4);
  }
}

std::uint32_t TableFile::AppendRecord(char* record) {
  RequireWritable();
  const std::uint32_t count = CurrentCount();
  if (count == 0xFFFFFFFFu) ThrowTableError(path_, "в таблице больше нет места для записей"_cp);
  WriteNewRecord(count, record);
  CommitCount(count + 1);
  return count;
}

void TableFile::WriteNewRecord(std::uint32_t number, char* record) {
  PrepareNewRecord(number, record);
  WriteNewRecords(number, std::string_view(record, layout_.record_length));
}

void TableFile::PrepareNewRecord(std::uint32_t number, char* record) {
  RequireWritable();
  if (number == 0xFFFFFFFFu) ThrowTableError(path_, "в таблице больше нет места для записей"_cp);
  FillAutoIncrements(record);
}

void TableFile::WriteNewRecords(std::uint32_t first, std::string_view records) {
  RequireWritable();
  // The scan cache knows only records below the header's count, which this write leaves alone:
  // what it knows of the file stands for the file after the write.
  std::optional<State> before;
  if (ScanCache::Instance().HasEntries(path_)) before = Observe();
  std::vector<char> bytes;
  bytes.reserve(records.size() + 1);
  bytes.assign(records.begin(), records.end());
  bytes.push_back(0x1A);
  const std::uint64_t at = layout_.header_length + static_cast<std::uint64_t>(first) * layout_.record_length;
  file_->WriteAt(at, bytes.data(), bytes.size());
  BumpWriteGeneration();
  if (before) NoteAppend(before, before->count);
}

void TableFile::CommitCount(std::uint32_t count) {
  RequireWritable();
  // The records on the disk before the header that counts them: whatever a power failure keeps
  // of the writes after this, the header never counts a record the disk lacks.
  file_->Sync();
  std::optional<State> before;
  if (ScanCache::Instance().HasEntries(path_)) before = Observe();
  WriteHeader(count);
  BumpWriteGeneration();
  NoteAppend(before, count);
}

void TableFile::CutPastCount(std::uint32_t count) {
  RequireWritable();
  if (count < ReadHeaderCount()) return Truncate(count);  // counted records: the header goes first
  std::optional<State> before;
  if (ScanCache::Instance().HasEntries(path_)) before = Observe();
  const std::uint64_t end = layout_.header_length + static_cast<std::uint64_t>(count) * layout_.record_length;
  file_->WriteAt(end, "\x1A", 1);
  file_->Truncate(end + 1);
  BumpWriteGeneration();
  if (before) NoteAppend(before, before->count);
}

// What the scan cache knows of the file follows a write of this handle that left the records the
// header counted as they were, and made the header count `count` records (the same count, or
// more: the records appended since `before`). Anything else drops what it knows.
void TableFile::NoteAppend(const std::optional<State>& before, std::uint32_t count) noexcept {
  ScanCache& cache = ScanCache::Instance();
  try {
    if (before && before->count == before->stored_count && count >= before->count) {
      const std::uint32_t first = before->count;
      const std::uint32_t added = count - first;
      const std::uint32_t len = layout_.record_length;
      std::vector<char> records(static_cast<std::size_t>(added) * len);
      if (added == 0 || ReadRecords(first, added, records.data()) == added) {
        const State after = Observe();
        cache.NoteAppend(path_, ScanCache::FileState{before->stamp, before->stored_count},
                         ScanCache::FileState{after.stamp, after.stored_count}, first, added,
                         [&](const ScanCache::ColumnKey& column, std::uint32_t n, std::uint64_t* key) {
                           if (column.field >= layout_.fields.size()) return false;
                           const char* rec = records.data() + static_cast<std::size_t>(n) * len;
                           return ScanCache::ValueKeyOf(layout_, layout_.fields[column.field], rec, key);
                         });
        return;
      }
    }
  } catch (...) {
  }
  try {
    cache.Forget(path_);
  } catch (...) {
    cache.Clear();  // what it knew may be stale: forget all of it
  }
}

void TableFile::Truncate(std::uint32_t count) {
  RequireWritable();
  const std::uint32_t current = CurrentCount();
  if (count > current) return;
  const std::uint64_t end = layout_.header_length + static_cast<std::uint64_t>(count) * layout_.record_length;
  // A record written without the header that counts it (a failure between the two writes)
  // lies past the count: it is cut away too, and the end marker put back after the last record.
  if (count == current) {
    char marker = 0;
    if (file_->Size() == end + 1 && file_->ReadAt(end, &marker, 1) == 1 && marker == 0x1A) return;
  } else {
    // The header first: once it counts `count` records the rest is invisible to every reader.
    WriteHeader(count);
  }
  file_->WriteAt(end, "\x1A", 1);
  file_->Truncate(end + 1);
  ScanCache::Instance().Forget(path_);
  BumpWriteGeneration();
}

}  // namespace epd::tables
