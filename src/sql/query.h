#pragma once

// CONTRACT of the local SQL as the rest of the library uses it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "tables/table.h"

namespace epd::sql {

class KeptTables;

// One statement of the local SQL. Table names stand in double quotes: a full path, or a bare
// file name taken in the query's directory. Named parameters are written :name.
class Query : public tables::RowReader {
 public:
  // `directory` (no closing backslash needed) resolves bare table names; empty for none.
  explicit Query(std::string directory = std::string());
  ~Query() override;

  void SetSql(std::string text);
  const std::string& Sql() const;
  void SetParam(std::string_view name, tables::Value value);
  // Table files kept open between statements (sql/kept_tables.h); none by default. Kept by the
  // caller for as long as the query runs statements.
  void SetKeptTables(KeptTables* kept);
  void ClearParams();

  // Runs a SELECT; the result is materialised, so RecordCount is exact.
  void Open();
  // Runs INSERT, UPDATE or DELETE; returns the number of rows affected.
  int ExecSql();
  void Close();
  bool IsOpen() const;

  int RecordCount() const;
  void First();
  void Next();
  bool Eof() const;
  // The current row's number from 0 (for lists that keep a current row).
  int RecNo() const;
  void MoveTo(int row);

  int FieldIndex(std::string_view name) const override;
  int FieldCount() const override;
  std::string FieldName(int index) const override;
  std::string AsString(std::string_view column) const override;
  std::int32_t AsInteger(std::string_view column) const override;
  bool AsBoolean(std::string_view column) const override;
  bool IsNull(std::string_view column) const override;
  std::string AsStringAt(int index) const override;
  bool AsBooleanAt(int index) const override;
  bool RawFieldAt(int index, tables::RawField* out) const override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace epd::sql
