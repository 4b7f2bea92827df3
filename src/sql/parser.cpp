#include "sql/parser.h"

#include <charconv>

#include "platform/codepage.h"
#include "platform/text.h"
#include "sql/lexer.h"
#include "tables/table_errors.h"

namespace epd::sql {

using tables::Cat;
using tables::Cell;
namespace {

const char* const kReserved[] = {"SELECT", "DISTINCT", "FROM",   "WHERE",  "ORDER",   "BY",  "ASC",  "DESC",
                                 "INSERT", "INTO",     "VALUES", "DELETE", "UPDATE",  "SET", "AND",  "OR",
                                 "NOT",    "LIKE",     "ESCAPE", "IN",     "BETWEEN", "IS",  "NULL", "AS"};

// How deep an expression may be: parentheses, unary signs, NOT, and each operator of a chain
// (a + b + c ...) count one level. The statements of the program stay far below; the limit keeps
// a statement of any text from exhausting the stack while it is parsed, evaluated or freed.
constexpr int kMaxDepth = 200;

class Parser {
 public:
  explicit Parser(std::string_view sql) : sql_(sql), tokens_(Tokenize(sql)) {}

  Statement ParseStatement() {
    Statement result;
    const Token& t = Peek();
    if (IsKeyword(t, "SELECT")) {
      result = ParseSelect();
    } else if (IsKeyword(t, "INSERT")) {
      result = ParseInsert();
    } else if (IsKeyword(t, "UPDATE")) {
      result = ParseUpdate();
    } else if (IsKeyword(t, "DELETE")) {
      result = ParseDelete();
    } else {
      Fail(t, "ожидается SELECT, INSERT, UPDATE или DELETE"_cp);
    }
    if (IsSymbol(Peek(), ";")) Advance();
    if (Peek().kind != TokenKind::kEnd) Fail(Peek(), "лишний текст после конца запроса"_cp);
    return result;
  }

 private:
  // ---- tokens ----
  const Token& Peek(std::size_t ahead = 0) const {
    const std::size_t i = std::min(pos_ + ahead, tokens_.size() - 1);
    return tokens_[i];
  }
  const Token& Advance() {
    const Token& t = tokens_[pos_];
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return t;
  }
  static bool IsKeyword(const Token& t, std::string_view word) {
    return t.kind == TokenKind::kIdentifier && platform::EqualsIgnoreCase(t.text, word);
  }
  static bool IsSymbol(const Token& t, std::string_view s) { return t.kind == TokenKind::kSymbol && t.text == s; }
  static bool IsReserved(const Token& t) {
    if (t.kind != TokenKind::kIdentifier) return false;
    for (const char* w : kReserved)
      if (platform::EqualsIgnoreCase(t.text, w)) return true;
    return false;
  }
  bool AcceptKeyword(std::string_view word) {
    if (!IsKeyword(Peek(), word)) return false;
    Advance();
    return true;
  }
  bool AcceptSymbol(std::string_view s) {
    if (!IsSymbol(Peek(), s)) return false;
    Advance();
    return true;
  }
  void ExpectKeyword(std::string_view word) {
    if (!AcceptKeyword(word)) Fail(Peek(), Cat("ожидается "_cp, word));
  }
  void ExpectSymbol(std::string_view s) {
    if (!AcceptSymbol(s)) Fail(Peek(), Cat("ожидается \""_cp, s, "\""));
  }
  [[noreturn]] void Fail(const Token& t, std::string_view what) const { ThrowSyntaxError(sql_, t.position, what); }

  // Levels of the expression being parsed, taken back when the parse of a level ends.
  class Deeper {
   public:
    explicit Deeper(Parser& parser) : parser_(parser) {}
    ~Deeper() { parser_.depth_ -= added_; }
    Deeper(const Deeper&) = delete;
    Deeper& operator=(const Deeper&) = delete;
    void Level() {
      ++added_;
      if (++parser_.depth_ > kMaxDepth) parser_.Fail(parser_.Peek(), "выражение вложено слишком глубоко"_cp);
    }

   private:
    Parser& parser_;
    int added_ = 0;
  };

  // ---- statements ----
  TableName ParseTableName(bool allow_alias) {
    TableName table;
    const Token& t = Peek();
    table.position = t.position;
    if (t.kind == TokenKind::kQuotedName) {
      table.name = Advance().text;
      if (table.name.empty()) Fail(t, "пустое имя таблицы"_cp);
    } else if (t.kind == TokenKind::kIdentifier && !IsReserved(t)) {
      table.name = Advance().text;
      // A bare file name with its extension: sellers.dbf
      if (IsSymbol(Peek(), ".") && Peek(1).kind == TokenKind::kIdentifier) {
        Advance();
        table.name += "." + Advance().text;
      }
    } else {
      Fail(t, "ожидается имя таблицы"_cp);
    }
    if (allow_alias) {
      if (AcceptKeyword("AS")) {
        if (Peek().kind != TokenKind::kIdentifier || IsReserved(Peek())) Fail(Peek(), "ожидается псевдоним таблицы"_cp);
        table.alias = Advance().text;
      } else if (Peek().kind == TokenKind::kIdentifier && !IsReserved(Peek())) {
        table.alias = Advance().text;
      }
    }
    return table;
  }

  ColumnName ParseColumnName() {
    const Token& t = Peek();
    ColumnName c;
    c.position = t.position;
    if (t.kind == TokenKind::kQuotedName || (t.kind == TokenKind::kIdentifier && !IsReserved(t))) {
      c.name = Advance().text;
      // table.column: the qualifier is dropped, there is one table per statement.
      if (IsSymbol(Peek(), ".") && (Peek(1).kind == TokenKind::kIdentifier || Peek(1).kind == TokenKind::kQuotedName)) {
        Advance();
        c.position = Peek().position;
        c.name = Advance().text;
      }
      return c;
    }
    Fail(t, "ожидается имя поля"_cp);
  }

  SelectStatement ParseSelect() {
    SelectStatement s;
    ExpectKeyword("SELECT");
    s.distinct = AcceptKeyword("DISTINCT");
    do {
      SelectItem item;
      item.position = Peek().position;
      if (AcceptSymbol("*")) {
        item.star = true;
      } else {
        item.expr = ParseExpression();
        if (AcceptKeyword("AS")) {
          if (Peek().kind != TokenKind::kIdentifier && Peek().kind != TokenKind::kQuotedName)
            Fail(Peek(), "ожидается имя поля результата"_cp);
          item.alias = Advance().text;
        } else if (Peek().kind == TokenKind::kIdentifier && !IsReserved(Peek())) {
          item.alias = Advance().text;
        }
      }
      s.items.push_back(std::move(item));
    } while (AcceptSymbol(","));
    ExpectKeyword("FROM");
    s.table = ParseTableName(true);
    if (AcceptKeyword("WHERE")) s.where = ParseExpression();
    if (AcceptKeyword("ORDER")) {
      ExpectKeyword("BY");
      do {
        OrderItem o;
        o.position = Peek().position;
        if (Peek().kind == TokenKind::kNumber && Peek().text.find_first_not_of("0123456789") == std::string::npos &&
            (IsSymbol(Peek(1), ",") || IsKeyword(Peek(1), "ASC") || IsKeyword(Peek(1), "DESC") ||
             Peek(1).kind == TokenKind::kEnd || IsSymbol(Peek(1), ";") || IsSymbol(Peek(1), ")"))) {
          const std::string& digits = Advance().text;
          std::from_chars(digits.data(), digits.data() + digits.size(), o.ordinal);
          if (o.ordinal < 1) Fail(Peek(), "номер поля сортировки должен быть больше нуля"_cp);
        } else {
          o.expr = ParseExpression();
        }
        if (AcceptKeyword("DESC")) {
          o.descending = true;
        } else {
          AcceptKeyword("ASC");
        }
        s.order.push_back(std::move(o));
      } while (AcceptSymbol(","));
    }
    return s;
  }

  InsertStatement ParseInsert() {
    InsertStatement s;
    ExpectKeyword("INSERT");
    ExpectKeyword("INTO");
    s.table = ParseTableName(false);
    if (AcceptSymbol("(")) {
      do s.columns.push_back(ParseColumnName());
      while (AcceptSymbol(","));
      ExpectSymbol(")");
    }
    s.values_position = Peek().position;
    ExpectKeyword("VALUES");
    ExpectSymbol("(");
    do s.values.push_back(ParseExpression());
    while (AcceptSymbol(","));
    ExpectSymbol(")");
    return s;
  }

  UpdateStatement ParseUpdate() {
    UpdateStatement s;
    ExpectKeyword("UPDATE");
    s.table = ParseTableName(true);
    ExpectKeyword("SET");
    do {
      Assignment a;
      a.column = ParseColumnName();
      ExpectSymbol("=");
      a.value = ParseExpression();
      s.assignments.push_back(std::move(a));
    } while (AcceptSymbol(","));
    if (AcceptKeyword("WHERE")) s.where = ParseExpression();
    return s;
  }

  DeleteStatement ParseDelete() {
    DeleteStatement s;
    ExpectKeyword("DELETE");
    ExpectKeyword("FROM");
    s.table = ParseTableName(true);
    if (AcceptKeyword("WHERE")) s.where = ParseExpression();
    return s;
  }

  // ---- expressions ----
  static std::unique_ptr<Expr> Make(ExprKind kind, std::size_t position, Op op = Op::kNone) {
    auto e = std::make_unique<Expr>();
    e->kind = kind;
    e->position = position;
    e->op = op;
    return e;
  }

  std::unique_ptr<Expr> ParseExpression() {
    Deeper deeper(*this);
    deeper.Level();
    return ParseOr();
  }

  std::unique_ptr<Expr> ParseOr() {
    Deeper deeper(*this);
    auto left = ParseAnd();
    while (IsKeyword(Peek(), "OR")) {
      deeper.Level();
      auto e = Make(ExprKind::kBinary, Advance().position, Op::kOr);
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAnd());
      left = std::move(e);
    }
    return left;
  }

  std::unique_ptr<Expr> ParseAnd() {
    Deeper deeper(*this);
    auto left = ParseNot();
    while (IsKeyword(Peek(), "AND")) {
      deeper.Level();
      auto e = Make(ExprKind::kBinary, Advance().position, Op::kAnd);
      e->args.push_back(std::move(left));
      e->args.push_back(ParseNot());
      left = std::move(e);
    }
    return left;
  }

  std::unique_ptr<Expr> ParseNot() {
    if (IsKeyword(Peek(), "NOT")) {
      Deeper deeper(*this);
      deeper.Level();
      auto e = Make(ExprKind::kUnary, Advance().position, Op::kNot);
      e->args.push_back(ParseNot());
      return e;
    }
    return ParsePredicate();
  }

  std::unique_ptr<Expr> ParsePredicate() {
    auto left = ParseAdditive();
    const Token& t = Peek();
    static const std::pair<const char*, Op> kComparisons[] = {{"=", Op::kEq}, {"<>", Op::kNe}, {"!=", Op::kNe},
                                                              {"<", Op::kLt}, {">", Op::kGt},  {"<=", Op::kLe},
                                                              {">=", Op::kGe}};
    for (const auto& [symbol, op] : kComparisons) {
      if (IsSymbol(t, symbol)) {
        auto e = Make(ExprKind::kBinary, Advance().position, op);
        e->args.push_back(std::move(left));
        e->args.push_back(ParseAdditive());
        return e;
      }
    }
    if (IsKeyword(t, "IS")) {
      auto e = Make(ExprKind::kIsNull, Advance().position);
      e->negated = AcceptKeyword("NOT");
      ExpectKeyword("NULL");
      e->args.push_back(std::move(left));
      return e;
    }
    bool negated = false;
    if (IsKeyword(t, "NOT") &&
        (IsKeyword(Peek(1), "LIKE") || IsKeyword(Peek(1), "IN") || IsKeyword(Peek(1), "BETWEEN"))) {
      Advance();
      negated = true;
    }
    const Token& k = Peek();
    if (IsKeyword(k, "LIKE")) {
      auto e = Make(ExprKind::kLike, Advance().position);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      if (AcceptKeyword("ESCAPE")) e->args.push_back(ParseAdditive());
      return e;
    }
    if (IsKeyword(k, "BETWEEN")) {
      auto e = Make(ExprKind::kBetween, Advance().position);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      ExpectKeyword("AND");
      e->args.push_back(ParseAdditive());
      return e;
    }
    if (IsKeyword(k, "IN")) {
      auto e = Make(ExprKind::kIn, Advance().position);
      e->negated = negated;
      e->args.push_back(std::move(left));
      ExpectSymbol("(");
      if (IsKeyword(Peek(), "SELECT")) {
        e->subquery = std::make_unique<SelectStatement>(ParseSelect());
      } else {
        do e->args.push_back(ParseExpression());
        while (AcceptSymbol(","));
      }
      ExpectSymbol(")");
      return e;
    }
    if (negated) Fail(k, "ожидается LIKE, IN или BETWEEN"_cp);
    return left;
  }

  std::unique_ptr<Expr> ParseAdditive() {
    Deeper deeper(*this);
    auto left = ParseMultiplicative();
    while (true) {
      const Token& t = Peek();
      Op op = IsSymbol(t, "+") ? Op::kAdd : IsSymbol(t, "-") ? Op::kSub : IsSymbol(t, "||") ? Op::kConcat : Op::kNone;
      if (op == Op::kNone) return left;
      deeper.Level();
      auto e = Make(ExprKind::kBinary, Advance().position, op);
      e->args.push_back(std::move(left));
      e->args.push_back(ParseMultiplicative());
      left = std::move(e);
    }
  }

  std::unique_ptr<Expr> ParseMultiplicative() {
    Deeper deeper(*this);
    auto left = ParseUnary();
    while (true) {
      const Token& t = Peek();
      Op op = IsSymbol(t, "*") ? Op::kMul : IsSymbol(t, "/") ? Op::kDiv : Op::kNone;
      if (op == Op::kNone) return left;
      deeper.Level();
      auto e = Make(ExprKind::kBinary, Advance().position, op);
      e->args.push_back(std::move(left));
      e->args.push_back(ParseUnary());
      left = std::move(e);
    }
  }

  std::unique_ptr<Expr> ParseUnary() {
    Deeper deeper(*this);
    if (IsSymbol(Peek(), "-") || IsSymbol(Peek(), "+")) deeper.Level();
    if (IsSymbol(Peek(), "-")) {
      auto e = Make(ExprKind::kUnary, Advance().position, Op::kNegate);
      e->args.push_back(ParseUnary());
      return e;
    }
    if (IsSymbol(Peek(), "+")) {
      Advance();
      return ParseUnary();
    }
    return ParsePrimary();
  }

  std::unique_ptr<Expr> ParsePrimary() {
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kNumber: {
        auto e = Make(ExprKind::kLiteral, t.position);
        double v = 0;
        const std::string& text = Advance().text;
        const char* begin = text.data();
        const char* end = text.data() + text.size();
        auto [ptr, ec] = std::from_chars(begin, end, v);
        if (ec != std::errc() || ptr != end) Fail(t, "неверное число"_cp);
        e->literal = Cell::Number(v);
        return e;
      }
      case TokenKind::kString: {
        auto e = Make(ExprKind::kLiteral, t.position);
        e->literal = Cell::Text(Advance().text);
        return e;
      }
      case TokenKind::kParameter: {
        auto e = Make(ExprKind::kParameter, t.position);
        e->name = Advance().text;
        return e;
      }
      case TokenKind::kQuotedName: {
        auto e = Make(ExprKind::kColumn, t.position);
        ColumnName c = ParseColumnName();
        e->name = c.name;
        e->position = c.position;
        return e;
      }
      case TokenKind::kSymbol:
        if (IsSymbol(t, "(")) {
          Advance();
          auto e = ParseExpression();
          ExpectSymbol(")");
          return e;
        }
        break;
      case TokenKind::kIdentifier: {
        if (IsKeyword(t, "NULL")) {
          Advance();
          return Make(ExprKind::kLiteral, t.position);
        }
        if (IsReserved(t)) break;
        if (IsSymbol(Peek(1), "(")) {
          auto e = Make(ExprKind::kFunction, t.position);
          e->name = platform::UpperCp1251(Advance().text);
          if (e->name != "UPPER" && e->name != "LOWER" && e->name != "TRIM")
            Fail(t, Cat("неизвестная функция "_cp, t.text));
          Advance();
          e->args.push_back(ParseExpression());
          ExpectSymbol(")");
          return e;
        }
        auto e = Make(ExprKind::kColumn, t.position);
        ColumnName c = ParseColumnName();
        e->name = c.name;
        e->position = c.position;
        return e;
      }
      case TokenKind::kEnd: break;
    }
    Fail(t, "ожидается значение, поле или выражение"_cp);
  }

  std::string_view sql_;
  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace

Statement Parse(std::string_view sql) { return Parser(sql).ParseStatement(); }

}  // namespace epd::sql
