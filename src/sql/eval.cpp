#include "sql/eval.h"

#include <cmath>

#include "platform/codepage.h"
#include "sql/collation.h"
#include "tables/calendar.h"
#include "tables/field_codec.h"
#include "tables/number_text.h"

namespace epd::sql {

using tables::Cell;
using tables::CellToText;
using tables::DecodeField;
using tables::ParseDate;
using tables::ParseDateTime;
using tables::ParseUserNumber;
namespace {

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : b < a ? 1 : 0;
}

bool TextToNumber(const std::string& t, const platform::RegionalFormat& f, double* v) {
  return ParseUserNumber(t, f.decimal_separator, v) || ParseUserNumber(t, '.', v);
}

bool TextToDate(const std::string& t, const platform::RegionalFormat& f, std::int64_t* days, std::int64_t* ms) {
  *ms = 0;
  return ParseDateTime(t, f.short_date, days, ms) || ParseDate(t, "yyyy-MM-dd", days) || ParseDate(t, "M/d/yyyy", days);
}

std::optional<bool> TextToBool(const std::string& t) {
  const std::string u = platform::UpperCp1251(WithoutTrailingBlanks(t));
  if (u.empty()) return std::nullopt;
  if (u == "1" || std::string_view("TRUE").substr(0, u.size()) == u || u == "Y") return true;
  if (u == "0" || std::string_view("FALSE").substr(0, u.size()) == u || u == "N") return false;
  return std::nullopt;
}

std::optional<bool> AsTruth(const Cell& c) {
  switch (c.kind) {
    case Cell::kBool: return c.boolean;
    case Cell::kNumber: return c.number != 0;
    default: return std::nullopt;
  }
}

std::string AsText(const Cell& c, const platform::RegionalFormat& f) {
  return c.kind == Cell::kText ? c.text : CellToText(c, f);
}

Cell Arithmetic(Op op, const Cell& a, const Cell& b, const platform::RegionalFormat& f) {
  if (a.IsNull() || b.IsNull()) return Cell::Null();
  if (op == Op::kConcat) return Cell::Text(std::string(WithoutTrailingBlanks(AsText(a, f))) + AsText(b, f));
  double x, y;
  auto number = [&f](const Cell& c, double* v) {
    if (c.kind == Cell::kNumber) return *v = c.number, true;
    return c.kind == Cell::kText && TextToNumber(c.text, f, v);
  };
  if (a.kind == Cell::kDate && (op == Op::kAdd || op == Op::kSub) && number(b, &y) && y == std::floor(y))
    return Cell::Date(a.days + static_cast<std::int64_t>(op == Op::kAdd ? y : -y));
  if (a.kind == Cell::kDate && b.kind == Cell::kDate && op == Op::kSub)
    return Cell::Number(static_cast<double>(a.days - b.days));
  if (!number(a, &x) || !number(b, &y)) return Cell::Null();
  switch (op) {
    case Op::kAdd: return Cell::Number(x + y);
    case Op::kSub: return Cell::Number(x - y);
    case Op::kMul: return Cell::Number(x * y);
    case Op::kDiv: return y == 0 ? Cell::Null() : Cell::Number(x / y);
    default: return Cell::Null();
  }
}

}  // namespace

std::string_view WithoutTrailingBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::optional<int> CompareValues(const Cell& a, const Cell& b, bool equality_only, const platform::RegionalFormat& f) {
  if (a.IsNull() || b.IsNull()) return std::nullopt;
  if (a.kind == Cell::kText && b.kind == Cell::kText) {
    const std::string_view x = WithoutTrailingBlanks(a.text), y = WithoutTrailingBlanks(b.text);
    if (equality_only) return x == y ? 0 : 1;
    return CollateCompare(x, y);
  }
  if (a.kind == Cell::kText || b.kind == Cell::kText) {
    const bool text_first = a.kind == Cell::kText;
    const Cell& text = text_first ? a : b;
    const Cell& other = text_first ? b : a;
    Cell converted;
    switch (other.kind) {
      case Cell::kNumber: {
        double v;
        if (!TextToNumber(text.text, f, &v)) return std::nullopt;
        converted = Cell::Number(v);
        break;
      }
      case Cell::kDate:
      case Cell::kTimestamp: {
        std::int64_t days, ms;
        if (!TextToDate(text.text, f, &days, &ms)) return std::nullopt;
        converted = ms != 0 ? Cell::Timestamp(days, ms) : Cell::Date(days);
        break;
      }
      case Cell::kBool: {
        const auto v = TextToBool(text.text);
        if (!v) return std::nullopt;
        converted = Cell::Bool(*v);
        break;
      }
      default: return std::nullopt;
    }
    return text_first ? CompareValues(converted, other, equality_only, f)
                      : CompareValues(other, converted, equality_only, f);
  }
  const bool a_time = a.kind == Cell::kDate || a.kind == Cell::kTimestamp;
  const bool b_time = b.kind == Cell::kDate || b.kind == Cell::kTimestamp;
  if (a_time && b_time) {
    const int d = Order(a.days, b.days);
    return d != 0 ? d : Order(a.kind == Cell::kTimestamp ? a.ms : 0, b.kind == Cell::kTimestamp ? b.ms : 0);
  }
  if (a.kind == Cell::kNumber && b.kind == Cell::kNumber) return Order(a.number, b.number);
  if (a.kind == Cell::kBool || b.kind == Cell::kBool) {
    const auto x = AsTruth(a), y = AsTruth(b);
    if (!x || !y) return std::nullopt;
    return Order(*x, *y);
  }
  return std::nullopt;
}

int SortCompare(const Cell& a, const Cell& b, const platform::RegionalFormat& f) {
  if (a.IsNull() || b.IsNull()) return Order(!a.IsNull(), !b.IsNull());
  if (const auto c = CompareValues(a, b, false, f)) return *c;
  return Order(static_cast<int>(a.kind), static_cast<int>(b.kind));
}

bool LikeMatch(std::string_view value, std::string_view pattern, int escape) {
  // Iterative matching with one backtracking point for the last '%'.
  std::size_t v = 0, p = 0, star_p = std::string_view::npos, star_v = 0;
  while (v < value.size()) {
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (escape >= 0 && static_cast<unsigned char>(c) == escape && p + 1 < pattern.size()) {
        if (pattern[p + 1] == value[v]) {
          p += 2, ++v;
          continue;
        }
      } else if (c == '%') {
        star_p = ++p;
        star_v = v;
        continue;
      } else if (c == '_' || c == value[v]) {
        ++p, ++v;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p;
    v = ++star_v;
  }
  while (p < pattern.size() && pattern[p] == '%') ++p;
  return p == pattern.size();
}

void ValueSet::Add(Cell value) {
  if (value.IsNull()) return;
  if (value.kind == Cell::kNumber) {
    numbers.insert(value.number == 0 ? 0.0 : value.number);
  } else {
    only_numbers = false;
  }
  if (value.kind == Cell::kText) {
    texts.emplace(WithoutTrailingBlanks(value.text));
  } else {
    only_texts = false;
  }
  values.push_back(std::move(value));
}

bool ValueSet::Contains(const Cell& value, const platform::RegionalFormat& f) const {
  if (value.IsNull()) return false;
  if (only_numbers && value.kind == Cell::kNumber) return numbers.count(value.number == 0 ? 0.0 : value.number) > 0;
  if (only_texts && value.kind == Cell::kText) return texts.count(std::string(WithoutTrailingBlanks(value.text))) > 0;
  for (const Cell& c : values) {
    const auto r = CompareValues(value, c, true, f);
    if (r && *r == 0) return true;
  }
  return false;
}

namespace {

Cell EvaluateUnary(const Expr& e, const EvalContext& ctx) {
  const Cell v = Evaluate(*e.args[0], ctx);
  if (e.op == Op::kNot) {
    const auto t = AsTruth(v);
    return t ? Cell::Bool(!*t) : Cell::Null();
  }
  if (v.kind == Cell::kNumber) return Cell::Number(-v.number);
  double n;
  if (v.kind == Cell::kText && TextToNumber(v.text, *ctx.format, &n)) return Cell::Number(-n);
  return Cell::Null();
}

Cell EvaluateBinary(const Expr& e, const EvalContext& ctx) {
  const platform::RegionalFormat& f = *ctx.format;
  if (e.op == Op::kAnd || e.op == Op::kOr) {
    const auto left = AsTruth(Evaluate(*e.args[0], ctx));
    const bool decisive = e.op == Op::kOr;  // OR: true decides, AND: false decides
    if (left && *left == decisive) return Cell::Bool(decisive);
    const auto right = AsTruth(Evaluate(*e.args[1], ctx));
    if (right && *right == decisive) return Cell::Bool(decisive);
    if (left && right) return Cell::Bool(!decisive);
    return Cell::Null();
  }
  const Cell a = Evaluate(*e.args[0], ctx);
  const Cell b = Evaluate(*e.args[1], ctx);
  switch (e.op) {
    case Op::kEq:
    case Op::kNe: {
      const auto c = CompareValues(a, b, true, f);
      if (!c) return Cell::Null();
      return Cell::Bool((*c == 0) == (e.op == Op::kEq));
    }
    case Op::kLt:
    case Op::kGt:
    case Op::kLe:
    case Op::kGe: {
      const auto c = CompareValues(a, b, false, f);
      if (!c) return Cell::Null();
      switch (e.op) {
        case Op::kLt: return Cell::Bool(*c < 0);
        case Op::kGt: return Cell::Bool(*c > 0);
        case Op::kLe: return Cell::Bool(*c <= 0);
        default: return Cell::Bool(*c >= 0);
      }
    }
    default: return Arithmetic(e.op, a, b, f);
  }
}

Cell EvaluateLike(const Expr& e, const EvalContext& ctx) {
  const platform::RegionalFormat& f = *ctx.format;
  const Cell v = Evaluate(*e.args[0], ctx);
  const Cell p = Evaluate(*e.args[1], ctx);
  if (v.IsNull() || p.IsNull()) return Cell::Null();
  int escape = -1;
  if (e.args.size() > 2) {
    const Cell x = Evaluate(*e.args[2], ctx);
    const std::string t = AsText(x, f);
    if (!t.empty()) escape = static_cast<unsigned char>(t[0]);
  }
  const bool m = LikeMatch(WithoutTrailingBlanks(AsText(v, f)), AsText(p, f), escape);
  return Cell::Bool(m != e.negated);
}

Cell EvaluateIn(const Expr& e, const EvalContext& ctx) {
  const Cell v = Evaluate(*e.args[0], ctx);
  if (v.IsNull()) return Cell::Null();
  bool found = false;
  if (e.in_values) {
    found = e.in_values->Contains(v, *ctx.format);
  } else {
    for (std::size_t i = 1; i < e.args.size() && !found; ++i) {
      const auto c = CompareValues(v, Evaluate(*e.args[i], ctx), true, *ctx.format);
      found = c && *c == 0;
    }
  }
  return Cell::Bool(found != e.negated);
}

// UPPER, LOWER and TRIM.
Cell EvaluateFunction(const Expr& e, const EvalContext& ctx) {
  const Cell v = Evaluate(*e.args[0], ctx);
  if (v.IsNull()) return v;
  const std::string t = AsText(v, *ctx.format);
  if (e.name == "UPPER") return Cell::Text(platform::UpperCp1251(t));
  if (e.name == "LOWER") {
    std::string out = t;
    for (char& c : out) c = platform::LowerCp1251(c);
    return Cell::Text(std::move(out));
  }
  std::string_view s = WithoutTrailingBlanks(t);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s.empty() ? Cell::Null() : Cell::Text(std::string(s));
}

}  // namespace

Cell Evaluate(const Expr& e, const EvalContext& ctx) {
  switch (e.kind) {
    case ExprKind::kLiteral:
    case ExprKind::kParameter: return e.literal;
    case ExprKind::kColumn:
      return DecodeField(*ctx.layout, ctx.layout->fields[static_cast<std::size_t>(e.field)], ctx.record, ctx.memo);
    case ExprKind::kUnary: return EvaluateUnary(e, ctx);
    case ExprKind::kBinary: return EvaluateBinary(e, ctx);
    case ExprKind::kLike: return EvaluateLike(e, ctx);
    case ExprKind::kIn: return EvaluateIn(e, ctx);
    case ExprKind::kBetween: {
      const Cell v = Evaluate(*e.args[0], ctx);
      const auto lo = CompareValues(v, Evaluate(*e.args[1], ctx), false, *ctx.format);
      const auto hi = CompareValues(v, Evaluate(*e.args[2], ctx), false, *ctx.format);
      if (!lo || !hi) return Cell::Null();
      return Cell::Bool((*lo >= 0 && *hi <= 0) != e.negated);
    }
    case ExprKind::kIsNull: return Cell::Bool(Evaluate(*e.args[0], ctx).IsNull() != e.negated);
    case ExprKind::kFunction: return EvaluateFunction(e, ctx);
  }
  return Cell::Null();
}

bool Holds(const Expr& e, const EvalContext& ctx) {
  const auto t = AsTruth(Evaluate(e, ctx));
  return t && *t;
}

}  // namespace epd::sql
