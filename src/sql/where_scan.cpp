#include "sql/where_scan.h"

#include <utility>
#include <vector>

#include "sql/eval.h"

namespace epd::sql {
namespace {

// `e` as column = constant, either way round, with the column's field index.
bool AsColumnEquality(const Expr& e, int* field, const tables::Cell** constant) {
  if (e.kind != ExprKind::kBinary || e.op != Op::kEq) return false;
  const Expr* a = e.args[0].get();
  const Expr* b = e.args[1].get();
  if (a->kind != ExprKind::kColumn) std::swap(a, b);
  if (a->kind != ExprKind::kColumn || a->field < 0) return false;
  if (b->kind != ExprKind::kLiteral && b->kind != ExprKind::kParameter) return false;
  *field = a->field;
  *constant = &b->literal;
  return true;
}

void Conjuncts(const Expr* e, std::vector<const Expr*>* out) {
  if (e == nullptr) return;
  if (e->kind == ExprKind::kBinary && e->op == Op::kAnd) {
    Conjuncts(e->args[0].get(), out);
    Conjuncts(e->args[1].get(), out);
  } else {
    out->push_back(e);
  }
}

}  // namespace

std::optional<tables::EqualityProbe> FindProbe(const Expr* where, const tables::TableLayout& layout) {
  std::vector<const Expr*> parts;
  Conjuncts(where, &parts);
  for (const Expr* e : parts) {
    int field;
    const tables::Cell* constant;
    if (AsColumnEquality(*e, &field, &constant) && tables::CanProbe(layout, field, *constant))
      return tables::EqualityProbe{field, *constant};
  }
  return std::nullopt;
}

tables::TableScan ScanWhere(tables::TableFile& file, const Expr* where, const platform::RegionalFormat& format,
                            bool record_runs) {
  tables::RecordTest accept;
  if (where != nullptr) {
    accept = [&file, where, &format](const char* record) {
      EvalContext ctx;
      ctx.layout = &file.layout();
      ctx.record = record;
      ctx.memo = file.memo();
      ctx.format = &format;
      return Holds(*where, ctx);
    };
  }
  return tables::TableScan(file, FindProbe(where, file.layout()), std::move(accept), record_runs);
}

}  // namespace epd::sql
