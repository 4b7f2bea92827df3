#include <windows.h>

#include "platform/keyboard.h"

namespace epd::platform {

std::string KeyboardLayoutName() {
  char name[KL_NAMELENGTH] = {};
  if (!::GetKeyboardLayoutNameA(name)) return std::string();
  return std::string(name);
}

}  // namespace epd::platform
