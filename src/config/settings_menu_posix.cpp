#include <cstdio>

#include "config/settings_menu.h"

namespace epd::config {

void ShowSettingsMenu(const SettingsPlaces& /*places*/) {
  std::fputs(
      "export_epd: the settings dialogs belong to the Windows build of the library.\n"
      "Here the same settings are edited with the epd tool:\n"
      "  epd settings --base DIR show|get SECTION KEY|set SECTION KEY VALUE\n"
      "  epd mapping --base DIR show|set KEY name=... length=... type=...\n"
      "  epd suppliers --base DIR list|add ID|remove ID\n",
      stderr);
}

}  // namespace epd::config
