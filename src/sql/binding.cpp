#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/text.h"
#include "sql/eval.h"
#include "sql/executor.h"
#include "sql/kept_tables.h"
#include "sql/lexer.h"
#include "tables/table_errors.h"

namespace epd::sql {

using tables::Cat;
using tables::Cell;
using tables::TableLayout;
using tables::Value;
namespace {

Cell ParameterCell(const Value& v) {
  if (const auto* i = std::get_if<std::int32_t>(&v)) return Cell::Number(*i);
  if (const auto* d = std::get_if<double>(&v)) return Cell::Number(*d);
  if (const auto* s = std::get_if<std::string>(&v)) return Cell::Text(*s);
  return Cell::Null();
}

}  // namespace

std::shared_ptr<tables::TableFile> OpenTable(const std::string& path, tables::TableFile::Access access,
                                             const ExecEnv& env) {
  if (env.kept != nullptr) return env.kept->Get(path, access);
  return tables::TableFile::Open(path, access);
}

std::string ResolveTablePath(const TableName& table, const ExecEnv& env) {
  std::string path = table.name;
  const std::size_t sep = path.find_last_of("\\/");
  const std::string_view file =
      sep == std::string::npos ? std::string_view(path) : std::string_view(path).substr(sep + 1);
  if (file.find('.') == std::string_view::npos) path += ".dbf";
  if (platform::IsBareName(path)) {
    if (env.directory.empty())
      ThrowSyntaxError(env.sql, table.position,
                       Cat("таблица "_cp, table.name, " указана без папки, а папка запроса не задана"_cp));
    std::string dir = env.directory;
    if (dir.back() != '\\' && dir.back() != '/') dir += '\\';
    path = dir + path;
  }
  return path;
}

void BindExpression(Expr& e, const TableLayout& layout, const std::string& path, const ExecEnv& env,
                    bool columns_allowed) {
  switch (e.kind) {
    case ExprKind::kColumn: {
      if (!columns_allowed) ThrowSyntaxError(env.sql, e.position, Cat("здесь нельзя указывать поле "_cp, e.name));
      e.field = layout.FieldIndex(e.name);
      if (e.field < 0) ThrowSyntaxError(env.sql, e.position, Cat("в таблице "_cp, path, " нет поля "_cp, e.name));
      return;
    }
    case ExprKind::kParameter: {
      if (env.params != nullptr) {
        for (const auto& [name, value] : *env.params) {
          if (platform::EqualsIgnoreCase(name, e.name)) {
            e.literal = ParameterCell(value);
            return;
          }
        }
      }
      ThrowSyntaxError(env.sql, e.position, Cat("не задано значение параметра :"_cp, e.name));
    }
    default: break;
  }
  for (auto& a : e.args) BindExpression(*a, layout, path, env, columns_allowed);
  if (e.kind == ExprKind::kIn && e.subquery) {
    auto result = ExecuteSelect(*e.subquery, env);
    if (result->columns().size() != 1)
      ThrowSyntaxError(env.sql, e.subquery->table.position, "подзапрос в IN должен выбирать одно поле"_cp);
    auto values = std::make_shared<ValueSet>();
    for (std::size_t row = 0; row < result->RowCount(); ++row) values->Add(result->Value(row, 0));
    e.in_values = std::move(values);
  }
}

}  // namespace epd::sql
