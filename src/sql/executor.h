#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sql/ast.h"
#include "sql/result_set.h"
#include "tables/dbf_layout.h"
#include "tables/table.h"

// Running parsed statements against table files. Every statement sees its table as it is now:
// it opens the file afresh, or takes one kept open that provably did not change since.
namespace epd::sql {

class KeptTables;

struct ExecEnv {
  std::string_view sql;   // the statement's text, for error positions
  std::string directory;  // resolves bare table names; may be empty
  const std::vector<std::pair<std::string, tables::Value>>* params = nullptr;
  KeptTables* kept = nullptr;  // table files kept open between statements, when the caller has them
};

// The statement's table file: the kept one where there are kept files, else opened now.
std::shared_ptr<tables::TableFile> OpenTable(const std::string& path, tables::TableFile::Access access,
                                             const ExecEnv& env);

// The table's full path: a double-quoted path as it is, a bare file name in the directory; a
// name without an extension gets ".dbf".
std::string ResolveTablePath(const TableName& table, const ExecEnv& env);

// Binds an expression to a table: columns to fields, parameters to their values, IN
// sub-selects to their values. Raises with the position of what cannot be bound.
void BindExpression(Expr& e, const tables::TableLayout& layout, const std::string& path, const ExecEnv& env,
                    bool columns_allowed);

std::unique_ptr<ResultSet> ExecuteSelect(SelectStatement& s, const ExecEnv& env);
// INSERT, UPDATE or DELETE: the number of rows affected.
int ExecuteChange(Statement& s, const ExecEnv& env);

}  // namespace epd::sql
