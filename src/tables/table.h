#pragma once

// CONTRACT of the table engine as the rest of the library uses it. The engine may add to it;
// it must not change what is declared here without updating every caller.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/files.h"
#include "tables/field_defs.h"

namespace epd::tables {

struct RawField;  // the engine's own view of a column (tables/raw_field.h)

// A key for Locate or a statement parameter.
using Value = std::variant<std::monostate, std::int32_t, double, std::string>;

// Creates an empty dBASE table at the engine's default level (level 7) from the definitions,
// replacing an existing file, and hands it and its folder's entry to the disk before it returns.
// Raises epd::Error on failure.
void CreateTable(const std::string& path, const FieldDefs& defs);

// Read access to the current row of a table or query. Columns are found by name without regard
// to letter case. Reading a column that does not exist, or a value that cannot be given in the
// form asked, raises epd::Error naming the table, the column and the value.
class RowReader {
 public:
  virtual ~RowReader() = default;

  // -1 when the current source has no such column.
  virtual int FieldIndex(std::string_view name) const = 0;
  virtual int FieldCount() const = 0;
  virtual std::string FieldName(int index) const = 0;

  // Text: character values without trailing blanks; integers plainly; other numbers as the
  // shortest text of at most 15 significant digits with the regional decimal separator; dates in
  // the regional short form; logicals "True"/"False"; a blank field is the empty text.
  virtual std::string AsString(std::string_view column) const = 0;
  // A blank field reads as 0.
  virtual std::int32_t AsInteger(std::string_view column) const = 0;
  virtual bool AsBoolean(std::string_view column) const = 0;
  virtual bool IsNull(std::string_view column) const = 0;

  // The same by the column's position (FieldIndex), for a caller that finds a column once and
  // reads it in many rows. A position out of range raises as an unknown column does.
  virtual std::string AsStringAt(int index) const = 0;
  virtual bool AsBooleanAt(int index) const = 0;

  // The engine's tables and queries give the column's bytes in the current row; false for any
  // other reader, a computed column or no current row.
  virtual bool RawFieldAt(int /*index*/, RawField* /*out*/) const { return false; }
};

// A dBASE table opened by its full path. Rows are walked in physical order; deleted rows are
// never seen.
class Table : public RowReader {
 public:
  // Opens for reading and writing (shared with other handles and programs).
  static std::unique_ptr<Table> Open(const std::string& path);

  virtual const std::string& path() const = 0;

  virtual void First() = 0;
  virtual void Next() = 0;
  virtual bool Eof() const = 0;

  // Moves to the first row whose columns (names separated by ";", e.g. "idseller;cncode")
  // equal the keys: exact, case-sensitive, whole value; an integer key matches a column of
  // another type by conversion. False, and the position unchanged, when there is none.
  virtual bool Locate(std::string_view columns, const std::vector<Value>& keys) = 0;

  // Starts a new blank record; the reads above then see it. Post writes it.
  virtual void Append() = 0;
  // Assigns text to a column of the record being appended: character, cut to the width, bytes
  // unchanged; integer, a decimal number; float, a number with the regional decimal separator;
  // date, the regional short form; logical, a case-insensitive prefix of "True" or "False", or
  // "1"/"0"; the empty text leaves the column blank. Anything else raises epd::Error naming
  // the column and the value, and leaves the column as it was.
  virtual void SetAsString(std::string_view column, std::string_view text) = 0;
  // The same by the column's position (FieldIndex).
  virtual void SetAsStringAt(int index, std::string_view text) = 0;
  // SetAsStringAt(index, text of the source's column source_index), the text converted from code
  // page 1251 to 866 first when `to_866`; where both are the engine's, without making the text
  // when that stores the same bytes (a number into a numeric column, a date into a date column).
  virtual void SetFromAt(int index, const RowReader& source, int source_index, bool to_866) = 0;
  // Writes the record, then the header (record count, last update date).
  virtual void Post() = 0;
  virtual void Cancel() = 0;

  // Appends records as one unit. From BeginAppendRun on, Post collects each record and writes
  // the collection (with the end marker after it) in large pieces, but not the header;
  // EndAppendRun, or Close, writes what is left, hands the records to the disk and then writes
  // the header that counts them all. A write can therefore fail in a later Post or in
  // EndAppendRun rather than in the record's Post. Other readers, and reads through this handle,
  // see the run's records all together once it has ended, and a failure, a crash or a power
  // failure before that leaves the table as it was before the run (TruncateRecords cuts the
  // records away). A handle released without Close leaves its run uncounted.
  virtual void BeginAppendRun() = 0;
  virtual void EndAppendRun() = 0;
  // Physical records with the append run's: where the next appended record goes.
  virtual std::uint32_t AppendedCount() = 0;
  // Takes back the appended records from `record` on: during an append run, the run's records
  // from there (the run goes on after `record`); otherwise as TruncateRecords.
  virtual void TakeBack(std::uint32_t record) = 0;
  // Hands what was written through this handle to the disk, the collected records of an append
  // run written first (not counted), the memo file's too. Nothing for a handle that could only
  // read.
  virtual void Sync() = 0;
  // The stamp of the open file, as platform::StatFile gives it for the path while the path names
  // this file and nothing else wrote to it.
  virtual platform::FileStamp Stamp() = 0;

  // Number of physical records (deleted ones included), read from the file now.
  virtual std::uint32_t PhysicalRecordCount() = 0;
  // The file as it is now, read at once: its length, its first 32 bytes (version, date, record
  // count, lengths), its last byte and PhysicalRecordCount. What a caller needs to check later
  // whether the file is back as it was, and to put it back.
  struct FileTail {
    std::uint64_t size = 0;
    std::string header;
    char last = 0;
    std::uint32_t records = 0;
  };
  virtual FileTail Tail() = 0;
  // Cuts the table back to its first `count` physical records: header count, end marker and
  // file length. Used to take back an incomplete invoice.
  virtual void TruncateRecords(std::uint32_t count) = 0;
  // The deletion flag (' ' live, '*' deleted) of every physical record, read from the file now.
  virtual std::string DeletionFlags() = 0;
  // Writes back the flags of the first `flags.size()` records where they differ from the file:
  // takes back a deletion (a DELETE statement) as part of undoing an incomplete invoice.
  virtual void RestoreDeletionFlags(std::string_view flags) = 0;

  virtual void Close() = 0;
};

}  // namespace epd::tables
