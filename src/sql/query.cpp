#include "sql/query.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "sql/executor.h"
#include "sql/parser.h"
#include "sql/result_set.h"
#include "tables/cell_reading.h"
#include "tables/field_codec.h"
#include "tables/raw_field.h"
#include "tables/table_errors.h"

namespace epd::sql {

using tables::Cat;
using tables::Cell;
using tables::CellToBoolean;
using tables::CellToInteger;
using tables::CellToText;
using tables::RawField;
using tables::ThrowNoColumn;
using tables::ThrowTableError;
using tables::Value;

struct Query::Impl {
  std::string directory;
  std::string sql;
  std::vector<std::pair<std::string, Value>> params;
  std::unique_ptr<ResultSet> result;
  std::size_t row = 0;
  KeptTables* kept = nullptr;

  sql::ExecEnv Env() const {
    sql::ExecEnv env;
    env.sql = sql;
    env.directory = directory;
    env.params = &params;
    env.kept = kept;
    return env;
  }

  const ResultSet& Result() const {
    if (!result) throw Error(Cat("Запрос не открыт: "_cp, sql));
    return *result;
  }

  int Column(std::string_view name) const {
    const int i = Result().ColumnIndex(name);
    if (i < 0) ThrowNoColumn(result->path(), name);
    return i;
  }

  Cell Read(std::string_view name) const { return ReadAt(Column(name), name); }

  Cell ReadAt(int column, std::string_view name) const {
    if (row >= result->RowCount()) ThrowTableError(result->path(), Cat("нет текущей записи для чтения поля "_cp, name));
    return result->Value(row, column);
  }

  // The column at a position, with its name for messages.
  std::string_view ColumnAt(int index) const {
    const ResultSet& r = Result();
    if (index < 0 || index >= static_cast<int>(r.columns().size()))
      ThrowNoColumn(r.path(), "#" + std::to_string(index));
    return r.columns()[static_cast<std::size_t>(index)].name;
  }
};

Query::Query(std::string directory) : impl_(std::make_unique<Impl>()) { impl_->directory = std::move(directory); }
Query::~Query() = default;

void Query::SetSql(std::string text) {
  Close();
  impl_->sql = std::move(text);
}

const std::string& Query::Sql() const { return impl_->sql; }

void Query::SetParam(std::string_view name, Value value) {
  for (auto& [n, v] : impl_->params) {
    if (platform::EqualsIgnoreCase(n, name)) {
      v = std::move(value);
      return;
    }
  }
  impl_->params.emplace_back(std::string(name), std::move(value));
}

void Query::ClearParams() { impl_->params.clear(); }

void Query::SetKeptTables(KeptTables* kept) { impl_->kept = kept; }

void Query::Open() {
  Close();
  sql::Statement statement = sql::Parse(impl_->sql);
  auto* select = std::get_if<sql::SelectStatement>(&statement);
  if (select == nullptr) throw Error(Cat("Запрос не возвращает записей, его нельзя открыть: "_cp, impl_->sql));
  impl_->result = sql::ExecuteSelect(*select, impl_->Env());
  impl_->row = 0;
}

int Query::ExecSql() {
  Close();
  sql::Statement statement = sql::Parse(impl_->sql);
  return sql::ExecuteChange(statement, impl_->Env());
}

void Query::Close() {
  impl_->result.reset();
  impl_->row = 0;
}

bool Query::IsOpen() const { return impl_->result != nullptr; }

int Query::RecordCount() const { return impl_->result ? static_cast<int>(impl_->result->RowCount()) : 0; }
void Query::First() { impl_->row = 0; }
void Query::Next() {
  if (impl_->result && impl_->row < impl_->result->RowCount()) ++impl_->row;
}
bool Query::Eof() const { return !impl_->result || impl_->row >= impl_->result->RowCount(); }
int Query::RecNo() const { return static_cast<int>(impl_->row); }
void Query::MoveTo(int row) {
  const int count = RecordCount();
  impl_->row = static_cast<std::size_t>(row < 0 ? 0 : row > count ? count : row);
}

int Query::FieldIndex(std::string_view name) const { return impl_->result ? impl_->result->ColumnIndex(name) : -1; }
int Query::FieldCount() const { return impl_->result ? static_cast<int>(impl_->result->columns().size()) : 0; }
std::string Query::FieldName(int index) const {
  if (index < 0 || index >= FieldCount()) return std::string();
  return impl_->result->columns()[static_cast<std::size_t>(index)].name;
}

std::string Query::AsString(std::string_view column) const {
  Cell cell = impl_->Read(column);
  if (cell.kind == Cell::kText) return std::move(cell.text);  // what CellToText would copy
  return CellToText(cell, platform::CurrentRegionalFormat());
}
std::int32_t Query::AsInteger(std::string_view column) const {
  return CellToInteger(impl_->Read(column), impl_->result->path(), column);
}
bool Query::AsBoolean(std::string_view column) const {
  return CellToBoolean(impl_->Read(column), impl_->result->path(), column);
}
bool Query::IsNull(std::string_view column) const { return impl_->Read(column).IsNull(); }

std::string Query::AsStringAt(int index) const {
  Cell cell = impl_->ReadAt(index, impl_->ColumnAt(index));
  if (cell.kind == Cell::kText) return std::move(cell.text);
  return CellToText(cell, platform::CurrentRegionalFormat());
}
bool Query::RawFieldAt(int index, RawField* out) const {
  const ResultSet* r = impl_->result.get();
  if (r == nullptr || impl_->row >= r->RowCount() || index < 0 || index >= static_cast<int>(r->columns().size()))
    return false;
  const int field = r->columns()[static_cast<std::size_t>(index)].field;
  if (field < 0) return false;  // a computed column
  *out = RawField{&r->layout(), &r->layout().fields[static_cast<std::size_t>(field)], r->Record(impl_->row)};
  return true;
}

bool Query::AsBooleanAt(int index) const {
  const std::string_view name = impl_->ColumnAt(index);
  return CellToBoolean(impl_->ReadAt(index, name), impl_->result->path(), name);
}

}  // namespace epd::sql
