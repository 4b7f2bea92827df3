#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/regional.h"
#include "sql/ast.h"
#include "tables/cell.h"
#include "tables/dbf_layout.h"

// Evaluation of bound expressions over one record. Blank fields are null; comparisons with null
// are unknown, and so are comparisons of values that cannot be compared (a text that is no
// number against a number). Character comparisons ignore trailing blanks; = and <> compare the
// bytes exactly, the order comparisons follow the Russian collation.
namespace epd::tables {
class MemoFile;
}

namespace epd::sql {

struct EvalContext {
  const tables::TableLayout* layout = nullptr;
  const char* record = nullptr;
  tables::MemoFile* memo = nullptr;
  const platform::RegionalFormat* format = nullptr;
};

// The values of an IN list or sub-select. Nulls are left out: `x IN (...)` is false, not
// unknown, when x is none of the other values, so that `NOT x IN (SELECT ...)` does not hide
// every row as soon as the sub-select meets one blank field.
struct ValueSet {
  std::vector<tables::Cell> values;
  std::unordered_set<double> numbers;
  std::unordered_set<std::string> texts;  // without trailing blanks
  bool only_numbers = true;
  bool only_texts = true;

  void Add(tables::Cell value);
  bool Contains(const tables::Cell& value, const platform::RegionalFormat& format) const;
};

tables::Cell Evaluate(const Expr& e, const EvalContext& ctx);
// True only when the condition holds (false and unknown are both "no").
bool Holds(const Expr& e, const EvalContext& ctx);

// -1, 0, 1; nothing when unknown.
std::optional<int> CompareValues(const tables::Cell& a, const tables::Cell& b, bool equality_only,
                                 const platform::RegionalFormat& format);
// Order for ORDER BY: nulls first, then by value; values of different kinds by kind.
int SortCompare(const tables::Cell& a, const tables::Cell& b, const platform::RegionalFormat& format);

bool LikeMatch(std::string_view value, std::string_view pattern, int escape);

std::string_view WithoutTrailingBlanks(std::string_view text);

}  // namespace epd::sql
