#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// An aligned table of UTF-8 texts for the terminal: headings, a rule, rows; columns two blanks
// apart, widths counted in characters.
namespace epd::tool {

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> headings);
  void AlignRight(std::size_t column);
  void AddRow(std::vector<std::string> cells);
  std::size_t rows() const { return rows_.size(); }
  std::string Render() const;

 private:
  std::vector<std::string> headings_;
  std::vector<bool> right_;
  std::vector<std::vector<std::string>> rows_;
};

// Characters of a UTF-8 text (each counts one column).
std::size_t DisplayWidth(std::string_view utf8);
// Control characters (a NUL in a field, a line end) shown as "·", so rows stay on one line.
std::string Printable(std::string_view utf8);

}  // namespace epd::tool
