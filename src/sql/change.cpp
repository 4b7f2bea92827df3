#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/regional.h"
#include "platform/text.h"
#include "sql/eval.h"
#include "sql/executor.h"
#include "sql/kept_tables.h"
#include "sql/lexer.h"
#include "sql/where_scan.h"
#include "tables/field_codec.h"
#include "tables/scan_cache.h"
#include "tables/table_errors.h"

namespace epd::sql {

using tables::Cat;
using tables::Cell;
using tables::CellToText;
using tables::EncodeBlank;
using tables::EncodeCell;
using tables::FieldInfo;
using tables::MemoFile;
using tables::ScanCache;
using tables::TableFile;
using tables::TableLayout;
using tables::ThrowBadValue;
namespace {

// Tells the kept files, however the statement ends, that its writes were its own.
class WroteThrough {
 public:
  WroteThrough(const std::string& path, const ExecEnv& env) : path_(path), kept_(env.kept) {}
  ~WroteThrough() {
    if (kept_ != nullptr) kept_->Wrote(path_);
  }
  WroteThrough(const WroteThrough&) = delete;
  WroteThrough& operator=(const WroteThrough&) = delete;

 private:
  const std::string& path_;
  KeptTables* kept_;
};

int FieldOf(const ColumnName& c, const TableLayout& layout, const std::string& path, const ExecEnv& env) {
  const int i = layout.FieldIndex(c.name);
  if (i < 0) ThrowSyntaxError(env.sql, c.position, Cat("в таблице "_cp, path, " нет поля "_cp, c.name));
  return i;
}

void Store(const TableLayout& layout, int field, const Cell& value, const platform::RegionalFormat& format,
           char* record, MemoFile* memo, const std::string& path) {
  const FieldInfo& f = layout.fields[static_cast<std::size_t>(field)];
  std::string why;
  if (!EncodeCell(layout, f, value, format, record, memo, &why))
    ThrowBadValue(path, f.name, CellToText(value, format), why);
}

int Insert(InsertStatement& s, const ExecEnv& env) {
  const std::string path = ResolveTablePath(s.table, env);
  std::shared_ptr<TableFile> file = OpenTable(path, TableFile::Access::kReadWrite, env);
  const WroteThrough wrote(path, env);
  const TableLayout& layout = file->layout();
  std::vector<int> fields;
  if (s.columns.empty()) {
    for (std::size_t i = 0; i < layout.fields.size(); ++i) fields.push_back(static_cast<int>(i));
  } else {
    for (const ColumnName& c : s.columns) fields.push_back(FieldOf(c, layout, path, env));
  }
  if (fields.size() != s.values.size())
    ThrowSyntaxError(env.sql, s.values_position, "число значений не совпадает с числом полей"_cp);
  for (auto& v : s.values) BindExpression(*v, layout, path, env, false);

  const platform::RegionalFormat format = platform::CurrentRegionalFormat();
  std::vector<char> record(layout.record_length, ' ');
  for (const FieldInfo& f : layout.fields) EncodeBlank(layout, f, record.data());
  EvalContext ctx;
  ctx.layout = &layout;
  ctx.format = &format;
  for (std::size_t i = 0; i < fields.size(); ++i)
    Store(layout, fields[i], Evaluate(*s.values[i], ctx), format, record.data(), file->memo(), path);
  file->AppendRecord(record.data());
  return 1;
}

// DELETE and UPDATE rewrite records in place. The scan cache is told which bytes changed, so
// that what it knows about the other columns of the file stays usable.
// The statement's change is on disk by then: nothing here may fail it.
void NoteInPlaceWrite(TableFile& file, const tables::TableScan& scan, std::uint32_t begin, std::uint32_t end) noexcept {
  try {
    if (scan.state_known()) {
      const TableFile::State after = file.Observe();
      ScanCache::Instance().NoteInPlaceWrite(file.path(), scan.state(),
                                             ScanCache::FileState{after.stamp, after.stored_count}, begin, end);
      return;
    }
  } catch (...) {
  }
  try {
    ScanCache::Instance().Forget(file.path());
  } catch (...) {
    ScanCache::Instance().Clear();  // what it knew may be stale: forget all of it
  }
}

int Delete(DeleteStatement& s, const ExecEnv& env) {
  const std::string path = ResolveTablePath(s.table, env);
  std::shared_ptr<TableFile> file = OpenTable(path, TableFile::Access::kReadWrite, env);
  const WroteThrough wrote(path, env);
  if (s.where) BindExpression(*s.where, file->layout(), path, env, true);
  const platform::RegionalFormat format = platform::CurrentRegionalFormat();
  std::vector<std::uint32_t> hits;
  tables::TableScan scan = ScanWhere(*file, s.where.get(), format, /*record_runs=*/false);
  scan.Run([&](std::uint32_t n, const char*) { hits.push_back(n); });
  for (std::uint32_t n : hits) file->MarkDeleted(n);
  if (!hits.empty()) NoteInPlaceWrite(*file, scan, 0, 1);
  return static_cast<int>(hits.size());
}

int Update(UpdateStatement& s, const ExecEnv& env) {
  const std::string path = ResolveTablePath(s.table, env);
  std::shared_ptr<TableFile> file = OpenTable(path, TableFile::Access::kReadWrite, env);
  const WroteThrough wrote(path, env);
  const TableLayout& layout = file->layout();
  std::vector<int> fields;
  std::uint32_t begin = layout.record_length, end = 0;
  for (Assignment& a : s.assignments) {
    fields.push_back(FieldOf(a.column, layout, path, env));
    BindExpression(*a.value, layout, path, env, true);
    const FieldInfo& f = layout.fields[static_cast<std::size_t>(fields.back())];
    begin = std::min(begin, f.offset);
    end = std::max(end, f.offset + f.length);
  }
  if (s.where) BindExpression(*s.where, layout, path, env, true);
  const platform::RegionalFormat format = platform::CurrentRegionalFormat();
  // The new records are made during the pass and written after it, so that a value that cannot
  // be stored leaves the table as it was.
  std::vector<std::pair<std::uint32_t, std::vector<char>>> changed;
  std::vector<std::vector<char>> original;
  EvalContext ctx;
  ctx.layout = &layout;
  ctx.memo = file->memo();
  ctx.format = &format;
  tables::TableScan scan = ScanWhere(*file, s.where.get(), format, /*record_runs=*/false);
  scan.Run([&](std::uint32_t n, const char* record) {
    ctx.record = record;
    std::vector<Cell> values;
    for (const Assignment& a : s.assignments) values.push_back(Evaluate(*a.value, ctx));
    std::vector<char> copy(record, record + layout.record_length);
    for (std::size_t i = 0; i < fields.size(); ++i)
      Store(layout, fields[i], values[i], format, copy.data(), file->memo(), path);
    changed.emplace_back(n, std::move(copy));
    original.emplace_back(record, record + layout.record_length);
  });
  // Only the assigned fields are written: what another program changed in the other fields of
  // the same records since they were read stays. A write that fails takes back the records
  // already written, so that the statement changes all its rows or none.
  std::size_t written = 0;
  try {
    for (; written < changed.size(); ++written)
      file->WriteRecordPart(changed[written].first, changed[written].second.data(), begin, end);
  } catch (...) {
    for (std::size_t i = 0; i < written; ++i) {
      try {
        file->WriteRecordPart(changed[i].first, original[i].data(), begin, end);
      } catch (...) {
      }
    }
    ScanCache::Instance().Forget(file->path());
    throw;
  }
  if (!changed.empty()) NoteInPlaceWrite(*file, scan, begin, end);
  return static_cast<int>(changed.size());
}

}  // namespace

int ExecuteChange(Statement& s, const ExecEnv& env) {
  if (auto* insert = std::get_if<InsertStatement>(&s)) return Insert(*insert, env);
  if (auto* update = std::get_if<UpdateStatement>(&s)) return Update(*update, env);
  if (auto* del = std::get_if<DeleteStatement>(&s)) return Delete(*del, env);
  auto result = ExecuteSelect(std::get<SelectStatement>(s), env);
  return static_cast<int>(result->RowCount());
}

}  // namespace epd::sql
