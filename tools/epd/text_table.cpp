#include "text_table.h"

#include <algorithm>

namespace epd::tool {

TextTable::TextTable(std::vector<std::string> headings)
    : headings_(std::move(headings)), right_(headings_.size(), false) {}

void TextTable::AlignRight(std::size_t column) {
  if (column < right_.size()) right_[column] = true;
}

void TextTable::AddRow(std::vector<std::string> cells) {
  cells.resize(headings_.size());
  rows_.push_back(std::move(cells));
}

std::string TextTable::Render() const {
  std::vector<std::size_t> width(headings_.size());
  for (std::size_t c = 0; c < headings_.size(); ++c) {
    width[c] = DisplayWidth(headings_[c]);
    for (const auto& row : rows_) width[c] = std::max(width[c], DisplayWidth(row[c]));
  }
  std::string out;
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const std::size_t pad = width[c] - DisplayWidth(cells[c]);
      const bool last = c + 1 == cells.size();
      if (c > 0) text += "  ";
      if (right_[c]) text.append(pad, ' ');
      text += cells[c];
      if (!right_[c] && !last) text.append(pad, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + "\n";
  };
  line(headings_);
  std::vector<std::string> rule;
  for (std::size_t w : width) rule.push_back(std::string(w, '-'));
  line(rule);
  for (const auto& row : rows_) line(row);
  return out;
}

std::size_t DisplayWidth(std::string_view utf8) {
  std::size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::string Printable(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (char c : utf8) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      out += "\xC2\xB7";
    else
      out += c;
  }
  return out;
}

}  // namespace epd::tool
