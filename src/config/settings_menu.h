#pragma once

#include <string>

namespace epd::config {

// Where the dialogs find what they edit: the settings file and the supplier list in the data
// directory, the host's supplier directory below the base directory. Both end in a backslash.
struct SettingsPlaces {
  std::string base_directory;
  std::string data_directory;
};

// Shows the settings menu modally and returns when the user closes it. On Windows these are the
// library's own windows, and the window layer defines this (src/ui/win32/settings_menu_win32.cpp,
// linked into the library with it); elsewhere the settings are edited with the epd tool, and
// settings_menu_posix.cpp says so.
void ShowSettingsMenu(const SettingsPlaces& places);

}  // namespace epd::config
