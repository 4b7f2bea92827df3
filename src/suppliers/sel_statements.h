#pragma once

#include <string>
#include <string_view>

// The statements of the supplier list dialog. Tables stand in double quotes as full paths: the
// supplier list in the data directory, the host's supplier directory base directory +
// "Price\Sellers.dbf". Directories end in a backslash.
//
// The search statements compare the upper-cased Seller with the search text as a substring.
// The text never enters a statement's text: it is bound as the parameter :Pattern, whose value
// SearchPattern gives, with "\" as the LIKE escape, so that no key press can change what a
// statement does and every character of the text matches itself.
namespace epd::suppliers {

struct SelPlaces {
  std::string data_directory;
  std::string base_directory;
  std::string list_file_name;  // "SelList.dbf"
};

inline constexpr std::string_view kPatternParam = "Pattern";  // :Pattern in the statements

// Every listed supplier, by Seller.
std::string ListStatement(const SelPlaces& at);
// The suppliers of the supplier directory that are not listed, by Seller.
std::string ChoiceStatement(const SelPlaces& at);
// Adds :idSeller (integer) and :Seller (text) to the list.
std::string AddStatement(const SelPlaces& at);
// Removes every row of :idSeller (integer) from the list.
std::string RemoveStatement(const SelPlaces& at);
// The list and choice statements narrowed to :Pattern.
std::string ListSearchStatement(const SelPlaces& at);
std::string ChoiceSearchStatement(const SelPlaces& at);

// The value of :Pattern for a search text: the text with "%" on both sides, its own "%", "_" and
// "\" escaped by "\".
std::string SearchPattern(std::string_view search_text);

}  // namespace epd::suppliers
