#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tables/cell.h"
#include "tables/dbf_layout.h"
#include "tables/name_index.h"
#include "tables/table_file.h"

// The materialised rows of a SELECT: the matching records' bytes, decoded only when read, and
// the values of computed columns.
namespace epd::sql {

class ResultSet {
 public:
  struct Column {
    std::string name;
    int field = -1;     // a field of the table
    int computed = -1;  // or a computed value
  };

  // The rows of `file`'s table, which the result keeps: its layout, and its memo file for the
  // rows' memo fields.
  ResultSet(std::string path, std::shared_ptr<tables::TableFile> file, std::vector<Column> columns,
            std::size_t computed_count);

  void AddRow(const char* record, std::vector<tables::Cell> computed);
  std::size_t RowCount() const { return rows_; }
  // Puts the rows into this order (a permutation of row numbers).
  void Reorder(const std::vector<std::uint32_t>& order);
  const char* Record(std::size_t row) const;
  const tables::Cell& Computed(std::size_t row, int index) const;
  tables::Cell Value(std::size_t row, int column) const;

  const std::vector<Column>& columns() const { return columns_; }
  int ColumnIndex(std::string_view name) const;
  const std::string& path() const { return path_; }
  const tables::TableLayout& layout() const { return file_->layout(); }

 private:
  std::string path_;
  std::shared_ptr<tables::TableFile> file_;
  std::vector<Column> columns_;
  tables::NameIndex column_names_;
  std::size_t computed_count_;
  std::size_t rows_ = 0;
  std::vector<char> records_;
  std::vector<tables::Cell> computed_;
  std::vector<std::uint32_t> order_;  // empty: physical order
};

}  // namespace epd::sql
