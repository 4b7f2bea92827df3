#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "tables/dbf_layout.h"
#include "tables/memo_file.h"

// Record input and output on one open table file. The record count is read from the header
// whenever it matters (never trusted from an earlier read), cut to the whole records the file
// really holds. Appends write the record and the end marker first, hand them to the disk, and
// write the header that counts them only then, so that neither a process killed in between nor
// a power failure, whichever of the writes it keeps, leaves a header counting a record the file
// lacks. The header itself reaches the disk with the next sync of the file.
namespace epd::tables {

class TableFile {
 public:
  enum class Access { kRead, kReadWrite };
  // kReadWrite falls back to reading only when the file cannot be opened for writing; a write
  // then raises.
  static std::unique_ptr<TableFile> Open(const std::string& path, Access access);

  const std::string& path() const { return path_; }
  const TableLayout& layout() const { return layout_; }
  bool writable() const { return writable_; }
  platform::File& file() { return *file_; }
  // The memo file beside the table, opened on first use; null when there is none.
  MemoFile* memo();

  // Records in the table now: the header's count, cut to the whole records in the file.
  std::uint32_t CurrentCount();
  // All that at once: the file's stamp, the header's count and the records in the table.
  struct State {
    platform::FileStamp stamp;
    std::uint32_t stored_count = 0;
    std::uint32_t count = 0;
  };
  State Observe();
  // CurrentCount for these header bytes (from the file's start) and file size.
  std::uint32_t CountFor(std::string_view header, std::uint64_t size) const;
  // Reads whole records [first, first + count) into `buffer`; answers how many were read.
  std::uint32_t ReadRecords(std::uint32_t first, std::uint32_t count, char* buffer);
  // The deletion flag of every record in the table now, read `chunk_bytes` at a time.
  std::string DeletionFlags(std::size_t chunk_bytes);

  // Writes the bytes [begin, end) of a record only, leaving the rest of it as it is on disk.
  void WriteRecordPart(std::uint32_t number, const char* record, std::uint32_t begin, std::uint32_t end);
  void MarkDeleted(std::uint32_t number) { SetDeletionFlag(number, '*'); }
  void SetDeletionFlag(std::uint32_t number, char flag);
  // Appends a record; answers its number.
  std::uint32_t AppendRecord(char* record);
  // Writes record `number`, at or past the header's count, and the end marker after it, but not
  // the header; CommitCount then makes the header count the records written so.
  void WriteNewRecord(std::uint32_t number, char* record);
  // The same in two steps, for many records in one write: PrepareNewRecord fills in what the
  // file assigns to record `number` (autoincrement values); WriteNewRecords writes `bytes`, whole
  // records from `first` on, and the end marker after them.
  void PrepareNewRecord(std::uint32_t number, char* record);
  void WriteNewRecords(std::uint32_t first, std::string_view bytes);
  // Hands the records to the disk, then writes the header counting `count` records.
  void CommitCount(std::uint32_t count);
  // Cuts the file after its first `count` records, where the header does not count more (records
  // written past the count and taken back before it counted them); below the count, Truncate.
  void CutPastCount(std::uint32_t count);
  // Cuts the table back to `count` records.
  void Truncate(std::uint32_t count);

 private:
  TableFile(std::string path, std::unique_ptr<platform::File> file, bool writable, TableLayout layout);
  void RequireWritable();
  std::uint32_t ReadHeaderCount();
  std::uint32_t WholeRecordsIn(std::uint64_t size) const;
  void WriteHeader(std::uint32_t count);
  void FillAutoIncrements(char* record);
  void NoteAppend(const std::optional<State>& before, std::uint32_t count) noexcept;

  std::string path_;
  std::unique_ptr<platform::File> file_;
  bool writable_;
  TableLayout layout_;
  std::unique_ptr<MemoFile> memo_;
  bool memo_opened_ = false;
};

}  // namespace epd::tables
