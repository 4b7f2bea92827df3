#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The tokens of the local SQL. Keywords are not told apart here: they are identifiers that the
// parser compares without regard to letter case.
namespace epd::sql {

enum class TokenKind {
  kIdentifier,  // letters (Latin and code page 1251 Cyrillic), digits, underscore
  kQuotedName,  // "c:\dir\table.dbf" or "Field": the text between the double quotes
  kString,      // 'text' with '' for an apostrophe: the text
  kNumber,      // 12, 12.5, .5, 1e3: the digits as written
  kParameter,   // :name: the name
  kSymbol,      // ( ) , . * = <> != < > <= >= + - / || ;
  kEnd,
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;
  std::size_t position = 0;  // byte offset in the statement
};

// Raises epd::Error with the position on characters no token can start with, and on an
// unterminated string or quoted name.
std::vector<Token> Tokenize(std::string_view sql);

// The error text of the local SQL: "Ошибка в запросе, позиция N: what, рядом с "..."" (or ", а
// текст запроса закончился" at its end). Positions count from 1.
[[noreturn]] void ThrowSyntaxError(std::string_view sql, std::size_t position, std::string_view what);

bool IsIdentifierByte(unsigned char c);

}  // namespace epd::sql
