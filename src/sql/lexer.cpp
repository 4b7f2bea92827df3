#include "sql/lexer.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/text.h"

namespace epd::sql {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

}  // namespace

bool IsIdentifierByte(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(static_cast<char>(c)) || c == '_') return true;
  // A letter of code page 1251: a byte that has another letter case.
  return c >= 0x80 && (platform::UpperCp1251(static_cast<char>(c)) != platform::LowerCp1251(static_cast<char>(c)));
}

void ThrowSyntaxError(std::string_view sql, std::size_t position, std::string_view what) {
  std::string m;
  m += "Ошибка в запросе, позиция "_cp;
  m += std::to_string(position + 1);
  m += ": ";
  m += what;
  if (position < sql.size()) {
    std::string_view near = sql.substr(position, 24);
    const std::size_t line = near.find_first_of("\r\n");
    if (line != std::string_view::npos) near = near.substr(0, line);
    m += ", рядом с \""_cp;
    m += near;
    m += position + 24 < sql.size() ? "...\"" : "\"";
  } else {
    m += ", а текст запроса закончился"_cp;
  }
  throw Error(m);
}

namespace {

// The position of the next token: past blanks, -- line comments and /* */ comments.
std::size_t SkipBlanksAndComments(std::string_view sql, std::size_t i) {
  const std::size_t n = sql.size();
  while (i < n) {
    if (IsBlank(sql[i])) {
      ++i;
    } else if (sql[i] == '-' && i + 1 < n && sql[i + 1] == '-') {
      while (i < n && sql[i] != '\n') ++i;
    } else if (sql[i] == '/' && i + 1 < n && sql[i + 1] == '*') {
      const std::size_t end = sql.find("*/", i + 2);
      if (end == std::string_view::npos) ThrowSyntaxError(sql, i, "незакрытый комментарий"_cp);
      i = end + 2;
    } else {
      break;
    }
  }
  return i;
}

// Each of these reads the token that starts at `i` into `t` and answers where it ends.

std::size_t ScanNumber(std::string_view sql, std::size_t i, Token* t) {
  const std::size_t n = sql.size();
  std::size_t j = i;
  while (j < n && IsDigit(sql[j])) ++j;
  if (j < n && sql[j] == '.') {
    ++j;
    while (j < n && IsDigit(sql[j])) ++j;
  }
  if (j < n && (sql[j] == 'e' || sql[j] == 'E')) {
    std::size_t k = j + 1;
    if (k < n && (sql[k] == '+' || sql[k] == '-')) ++k;
    if (k < n && IsDigit(sql[k])) {
      while (k < n && IsDigit(sql[k])) ++k;
      j = k;
    }
  }
  if (j < n && IsIdentifierByte(static_cast<unsigned char>(sql[j]))) ThrowSyntaxError(sql, i, "неверное число"_cp);
  t->kind = TokenKind::kNumber;
  t->text.assign(sql.substr(i, j - i));
  return j;
}

std::size_t ScanString(std::string_view sql, std::size_t i, Token* t) {
  const std::size_t n = sql.size();
  std::size_t j = i + 1;
  while (true) {
    if (j >= n) ThrowSyntaxError(sql, i, "незакрытая строка"_cp);
    if (sql[j] == '\'') {
      if (j + 1 < n && sql[j + 1] == '\'') {
        t->text += '\'';
        j += 2;
        continue;
      }
      break;
    }
    t->text += sql[j++];
  }
  t->kind = TokenKind::kString;
  return j + 1;
}

std::size_t ScanSymbol(std::string_view sql, std::size_t i, Token* t) {
  static const char* const kTwo[] = {"<>", "!=", "<=", ">=", "||"};
  t->kind = TokenKind::kSymbol;
  for (const char* two : kTwo) {
    if (sql.substr(i, 2) == two) t->text = two;
  }
  if (t->text.empty()) {
    if (std::string_view("(),.*=<>+-/;").find(sql[i]) == std::string_view::npos)
      ThrowSyntaxError(sql, i, "недопустимый знак"_cp);
    t->text.assign(1, sql[i]);
  }
  return i + t->text.size();
}

}  // namespace

std::vector<Token> Tokenize(std::string_view sql) {
  std::vector<Token> tokens;
  const std::size_t n = sql.size();
  for (std::size_t i = SkipBlanksAndComments(sql, 0);; i = SkipBlanksAndComments(sql, i)) {
    Token t;
    t.position = i;
    if (i >= n) {
      tokens.push_back(t);
      return tokens;
    }
    const char c = sql[i];
    if (IsIdentifierByte(static_cast<unsigned char>(c)) && !IsDigit(c)) {
      std::size_t j = i;
      while (j < n && IsIdentifierByte(static_cast<unsigned char>(sql[j]))) ++j;
      t.kind = TokenKind::kIdentifier;
      t.text.assign(sql.substr(i, j - i));
      i = j;
    } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(sql[i + 1]))) {
      i = ScanNumber(sql, i, &t);
    } else if (c == '\'') {
      i = ScanString(sql, i, &t);
    } else if (c == '"') {
      const std::size_t end = sql.find('"', i + 1);
      if (end == std::string_view::npos) ThrowSyntaxError(sql, i, "незакрытая двойная кавычка"_cp);
      t.kind = TokenKind::kQuotedName;
      t.text.assign(sql.substr(i + 1, end - i - 1));
      i = end + 1;
    } else if (c == ':') {
      std::size_t j = i + 1;
      while (j < n && IsIdentifierByte(static_cast<unsigned char>(sql[j]))) ++j;
      if (j == i + 1) ThrowSyntaxError(sql, i, "после двоеточия ожидается имя параметра"_cp);
      t.kind = TokenKind::kParameter;
      t.text.assign(sql.substr(i + 1, j - i - 1));
      i = j;
    } else {
      i = ScanSymbol(sql, i, &t);
    }
    tokens.push_back(std::move(t));
  }
}

}  // namespace epd::sql
