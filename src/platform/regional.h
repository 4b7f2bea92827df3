#pragma once

#include <optional>
#include <string>

// The user's regional format, which the table engine uses to turn numbers and dates into text
// and back. Windows: the decimal separator and short date form of the user's regional settings.
// POSIX: the format of this program's users, a decimal comma and dates as dd.MM.yyyy.
namespace epd::platform {

struct RegionalFormat {
  char decimal_separator = ',';
  // The short date picture in Windows notation: d, dd, M, MM, yy, yyyy and separators.
  std::string short_date = "dd.MM.yyyy";
};

RegionalFormat CurrentRegionalFormat();

// Tests fix the format; std::nullopt returns to the system's.
void SetRegionalFormatOverride(std::optional<RegionalFormat> format);

namespace detail {
RegionalFormat SystemRegionalFormat();
}

}  // namespace epd::platform
