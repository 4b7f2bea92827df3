#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "platform/codepage.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "sql/eval.h"
#include "sql/executor.h"
#include "sql/lexer.h"
#include "sql/where_scan.h"
#include "tables/field_codec.h"
#include "tables/table_errors.h"

namespace epd::sql {

using tables::Cat;
using tables::Cell;
using tables::CellToText;
using tables::DecodeField;
using tables::IsMemoType;
using tables::TableFile;
using tables::TableLayout;

namespace {

// An output column: a field of the table, or an expression computed per row.
struct Output {
  std::string name;
  int field = -1;
  const Expr* expr = nullptr;
};

std::vector<Output> Outputs(SelectStatement& s, const TableLayout& layout) {
  std::vector<Output> out;
  int unnamed = 0;
  for (SelectItem& item : s.items) {
    if (item.star) {
      for (std::size_t i = 0; i < layout.fields.size(); ++i)
        out.push_back(Output{layout.fields[i].name, static_cast<int>(i), nullptr});
      continue;
    }
    Output o;
    if (item.expr->kind == ExprKind::kColumn) {
      o.field = item.expr->field;
      o.name = item.alias.empty() ? layout.fields[static_cast<std::size_t>(o.field)].name : item.alias;
    } else {
      o.expr = item.expr.get();
      o.name = !item.alias.empty()                      ? item.alias
               : item.expr->kind == ExprKind::kFunction ? item.expr->name
                                                        : Cat("EXPR", std::to_string(++unnamed));
    }
    out.push_back(std::move(o));
  }
  return out;
}

bool RefersToMemo(const Expr& e, const TableLayout& layout) {
  if (e.kind == ExprKind::kColumn && IsMemoType(layout, layout.fields[static_cast<std::size_t>(e.field)])) return true;
  for (const auto& a : e.args)
    if (RefersToMemo(*a, layout)) return true;
  return false;
}

// An ORDER BY item: an ordinal or an output's name picks that output; anything else is an
// expression over the table's row.
struct SortKey {
  int output = -1;
  const Expr* expr = nullptr;
  bool descending = false;
};

std::vector<SortKey> SortKeys(SelectStatement& s, const std::vector<Output>& outputs, const TableLayout& layout,
                              const std::string& path, const ExecEnv& env) {
  std::vector<SortKey> sort_keys;
  for (OrderItem& o : s.order) {
    SortKey k;
    k.descending = o.descending;
    if (o.ordinal > 0) {
      if (o.ordinal > static_cast<int>(outputs.size()))
        ThrowSyntaxError(env.sql, o.position, "номер поля сортировки больше числа полей результата"_cp);
      k.output = o.ordinal - 1;
    } else {
      if (o.expr->kind == ExprKind::kColumn && layout.FieldIndex(o.expr->name) < 0) {
        for (std::size_t i = 0; i < outputs.size(); ++i)
          if (platform::EqualsIgnoreCase(outputs[i].name, o.expr->name)) k.output = static_cast<int>(i);
      }
      if (k.output < 0) {
        BindExpression(*o.expr, layout, path, env, true);
        k.expr = o.expr.get();
      }
    }
    sort_keys.push_back(k);
  }
  return sort_keys;
}

// The result's columns; `*memo` tells whether any of them reads a memo field.
std::vector<ResultSet::Column> ResultColumns(const std::vector<Output>& outputs, const TableLayout& layout,
                                             std::size_t* computed, bool* memo) {
  std::vector<ResultSet::Column> columns;
  *computed = 0;
  *memo = false;
  for (const Output& o : outputs) {
    ResultSet::Column c;
    c.name = o.name;
    if (o.expr) {
      c.computed = static_cast<int>((*computed)++);
      *memo = *memo || RefersToMemo(*o.expr, layout);
    } else {
      c.field = o.field;
      *memo = *memo || IsMemoType(layout, layout.fields[static_cast<std::size_t>(o.field)]);
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

// The text that tells two rows of a DISTINCT result apart.
std::string DistinctKey(const std::vector<Output>& outputs, const std::vector<Cell>& values, const TableLayout& layout,
                        const char* record, const EvalContext& ctx) {
  std::string key;
  std::size_t next_computed = 0;
  for (const Output& o : outputs) {
    const Cell v = o.expr ? values[next_computed++]
                          : DecodeField(layout, layout.fields[static_cast<std::size_t>(o.field)], record, ctx.memo);
    key += static_cast<char>(v.kind);
    key += CellToText(v, *ctx.format);
    key += '\x01';
  }
  return key;
}

// Each key's values once per row, then a stable sort of row numbers. The values of expression
// keys follow the computed columns, in the order of the keys.
void SortRows(ResultSet& result, const std::vector<SortKey>& sort_keys, std::size_t computed,
              const platform::RegionalFormat& format) {
  const std::size_t rows = result.RowCount();
  std::vector<std::vector<Cell>> keys(sort_keys.size());
  std::size_t expr_index = computed;
  for (std::size_t k = 0; k < sort_keys.size(); ++k) {
    keys[k].reserve(rows);
    for (std::size_t r = 0; r < rows; ++r) {
      if (sort_keys[k].expr)
        keys[k].push_back(result.Computed(r, static_cast<int>(expr_index)));
      else
        keys[k].push_back(result.Value(r, sort_keys[k].output));
    }
    if (sort_keys[k].expr) ++expr_index;
  }
  std::vector<std::uint32_t> order(rows);
  std::iota(order.begin(), order.end(), 0u);
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    for (std::size_t k = 0; k < sort_keys.size(); ++k) {
      int c = SortCompare(keys[k][a], keys[k][b], format);
      if (sort_keys[k].descending) c = -c;
      if (c != 0) return c < 0;
    }
    return false;
  });
  result.Reorder(order);
}

}  // namespace

std::unique_ptr<ResultSet> ExecuteSelect(SelectStatement& s, const ExecEnv& env) {
  const std::string path = ResolveTablePath(s.table, env);
  std::shared_ptr<TableFile> file = OpenTable(path, TableFile::Access::kRead, env);
  const TableLayout& layout = file->layout();
  for (SelectItem& item : s.items)
    if (!item.star) BindExpression(*item.expr, layout, path, env, true);
  if (s.where) BindExpression(*s.where, layout, path, env, true);

  const std::vector<Output> outputs = Outputs(s, layout);
  const std::vector<SortKey> sort_keys = SortKeys(s, outputs, layout, path, env);
  std::size_t computed;
  bool memo;
  std::vector<ResultSet::Column> columns = ResultColumns(outputs, layout, &computed, &memo);
  std::size_t expr_keys = 0;
  for (const SortKey& k : sort_keys) expr_keys += k.expr ? 1 : 0;
  auto result = std::make_unique<ResultSet>(path, file, std::move(columns), computed + expr_keys);

  const platform::RegionalFormat format = platform::CurrentRegionalFormat();
  EvalContext ctx;
  ctx.layout = &layout;
  ctx.memo = file->memo();
  ctx.format = &format;
  std::unordered_set<std::string> distinct_rows;
  tables::TableScan scan = ScanWhere(*file, s.where.get(), format, /*record_runs=*/true);
  scan.Run([&](std::uint32_t, const char* record) {
    ctx.record = record;
    std::vector<Cell> values;
    values.reserve(computed + expr_keys);
    for (const Output& o : outputs)
      if (o.expr) values.push_back(Evaluate(*o.expr, ctx));
    for (const SortKey& k : sort_keys)
      if (k.expr) values.push_back(Evaluate(*k.expr, ctx));
    if (s.distinct && !distinct_rows.insert(DistinctKey(outputs, values, layout, record, ctx)).second) return;
    result->AddRow(record, std::move(values));
  });

  if (!sort_keys.empty() && result->RowCount() > 1) SortRows(*result, sort_keys, computed, format);
  return result;
}

}  // namespace epd::sql
