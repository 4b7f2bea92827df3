#pragma once

#include <string_view>

#include "sql/ast.h"

// A recursive-descent parser for the local SQL:
//   SELECT [DISTINCT] * | item [AS name], ... FROM table [[AS] alias] [WHERE condition]
//          [ORDER BY item [ASC|DESC], ...]
//   INSERT INTO table [(column, ...)] VALUES (value, ...)
//   UPDATE table SET column = value, ... [WHERE condition]
//   DELETE FROM table [WHERE condition]
// A table is a double-quoted path or file name, or a bare name. Conditions have OR, AND, NOT,
// parentheses, = <> != < > <= >=, [NOT] LIKE pattern [ESCAPE 'c'], [NOT] IN (list or SELECT),
// [NOT] BETWEEN a AND b, IS [NOT] NULL, + - * / ||, UPPER, LOWER, TRIM, literals and :parameters.
// Errors raise epd::Error with the position in the statement.
namespace epd::sql {

Statement Parse(std::string_view sql);

}  // namespace epd::sql
