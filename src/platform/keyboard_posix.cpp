#include <cstdlib>

#include "platform/keyboard.h"

namespace epd::platform {

std::string KeyboardLayoutName() {
  const char* name = std::getenv("EPD_KEYBOARD_LAYOUT");
  return name != nullptr && *name != 0 ? std::string(name) : std::string("00000409");
}

}  // namespace epd::platform
