#include <windows.h>

#include "config/settings_menu.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace epd::config {

void ShowSettingsMenu() { platform::ShowError("Окна настроек ещё не собраны в этой версии библиотеки"_cp); }

}  // namespace epd::config
