#pragma once

#include <string_view>

// The order of code page 1251 texts for sorting: blanks and punctuation, then digits, then
// Latin letters, then Cyrillic letters in Russian alphabetical order with Ё beside Е (the other
// Cyrillic letters of the code page beside their nearest Russian ones). Letter case and Ё/Е
// decide only between texts that are otherwise equal, and the bytes decide last, so two texts
// compare equal only when they are the same bytes.
namespace epd::sql {

int CollateCompare(std::string_view a, std::string_view b);

}  // namespace epd::sql
