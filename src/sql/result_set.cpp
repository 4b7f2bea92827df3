#include "sql/result_set.h"

#include "platform/codepage.h"
#include "tables/field_codec.h"

namespace epd::sql {

using tables::Cell;
using tables::DecodeField;
using tables::TableLayout;

ResultSet::ResultSet(std::string path, std::shared_ptr<tables::TableFile> file, std::vector<Column> columns,
                     std::size_t computed_count)
    : path_(std::move(path)),
      file_(std::move(file)),
      columns_(std::move(columns)),
      computed_count_(computed_count) {
  column_names_.Build(columns_.size(), [this](std::size_t i) { return std::string_view(columns_[i].name); });
}

void ResultSet::AddRow(const char* record, std::vector<Cell> computed) {
  records_.insert(records_.end(), record, record + layout().record_length);
  for (Cell& c : computed) computed_.push_back(std::move(c));
  ++rows_;
}

void ResultSet::Reorder(const std::vector<std::uint32_t>& order) { order_ = order; }

const char* ResultSet::Record(std::size_t row) const {
  const std::size_t physical = order_.empty() ? row : order_[row];
  return records_.data() + physical * layout().record_length;
}

const Cell& ResultSet::Computed(std::size_t row, int index) const {
  const std::size_t physical = order_.empty() ? row : order_[row];
  return computed_[physical * computed_count_ + static_cast<std::size_t>(index)];
}

Cell ResultSet::Value(std::size_t row, int column) const {
  const Column& c = columns_[static_cast<std::size_t>(column)];
  if (c.computed >= 0) return Computed(row, c.computed);
  const TableLayout& layout = file_->layout();
  const tables::FieldInfo& field = layout.fields[static_cast<std::size_t>(c.field)];
  return DecodeField(layout, field, Record(row), tables::IsMemoType(layout, field) ? file_->memo() : nullptr);
}

int ResultSet::ColumnIndex(std::string_view name) const {
  return column_names_.Find(name, columns_.size(),
                            [this](std::size_t i) { return std::string_view(columns_[i].name); });
}

}  // namespace epd::sql
