#pragma once

#include <string>

// The name of the active keyboard layout as Windows gives it: eight hexadecimal digits, such as
// "00000419" for Russian. POSIX has no such thing; there the name comes from the environment
// variable EPD_KEYBOARD_LAYOUT, else "00000409".
namespace epd::platform {

std::string KeyboardLayoutName();

}  // namespace epd::platform
