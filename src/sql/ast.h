#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "tables/cell.h"

// The parsed form of one statement of the local SQL.
namespace epd::sql {

struct SelectStatement;
struct ValueSet;

enum class ExprKind {
  kLiteral,    // literal
  kParameter,  // name
  kColumn,     // name (qualifier: an optional table name or alias)
  kUnary,      // op: kNot, kNegate; args[0]
  kBinary,     // op; args[0], args[1]
  kLike,       // args: value, pattern[, escape]; negated
  kIn,         // args[0] the value, then the list; or subquery; negated
  kBetween,    // args: value, low, high; negated
  kIsNull,     // args[0]; negated
  kFunction,   // name (upper case); args
};

enum class Op { kNone, kEq, kNe, kLt, kGt, kLe, kGe, kAnd, kOr, kNot, kNegate, kAdd, kSub, kMul, kDiv, kConcat };

struct Expr {
  ExprKind kind = ExprKind::kLiteral;
  Op op = Op::kNone;
  std::size_t position = 0;
  tables::Cell literal;
  std::string name;
  std::string qualifier;
  std::vector<std::unique_ptr<Expr>> args;
  std::unique_ptr<SelectStatement> subquery;
  bool negated = false;
  // Set when the statement is bound to its table: the column's field index, a parameter's value
  // (in `literal`), the values of an IN list or sub-select.
  int field = -1;
  std::shared_ptr<const ValueSet> in_values;
};

struct TableName {
  std::string name;  // as written: a path, or a bare file name
  std::string alias;
  std::size_t position = 0;
};

struct SelectItem {
  bool star = false;
  std::unique_ptr<Expr> expr;
  std::string alias;
  std::size_t position = 0;
};

struct OrderItem {
  std::unique_ptr<Expr> expr;  // null when `ordinal` is given
  int ordinal = 0;             // 1-based position in the select list
  bool descending = false;
  std::size_t position = 0;
};

struct SelectStatement {
  bool distinct = false;
  std::vector<SelectItem> items;
  TableName table;
  std::unique_ptr<Expr> where;
  std::vector<OrderItem> order;
};

struct ColumnName {
  std::string name;
  std::size_t position = 0;
};

struct InsertStatement {
  TableName table;
  std::vector<ColumnName> columns;  // empty: every field in order
  std::vector<std::unique_ptr<Expr>> values;
  std::size_t values_position = 0;
};

struct Assignment {
  ColumnName column;
  std::unique_ptr<Expr> value;
};

struct UpdateStatement {
  TableName table;
  std::vector<Assignment> assignments;
  std::unique_ptr<Expr> where;
};

struct DeleteStatement {
  TableName table;
  std::unique_ptr<Expr> where;
};

using Statement = std::variant<SelectStatement, InsertStatement, UpdateStatement, DeleteStatement>;

}  // namespace epd::sql
