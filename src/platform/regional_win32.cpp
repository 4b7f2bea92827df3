#include <windows.h>

#include "platform/codepage.h"
#include "platform/regional.h"

namespace epd::platform::detail {

RegionalFormat SystemRegionalFormat() {
  RegionalFormat format;
  wchar_t buffer[80] = {};
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 80) > 0 && buffer[0] != 0 && buffer[0] < 0x80)
    format.decimal_separator = static_cast<char>(buffer[0]);
  if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE, buffer, 80) > 0 && buffer[0] != 0) {
    std::u16string s;
    for (const wchar_t* p = buffer; *p; ++p) s += static_cast<char16_t>(*p);
    format.short_date = Utf16ToCp1251(s);
  }
  return format;
}

}  // namespace epd::platform::detail
