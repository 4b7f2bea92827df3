#pragma once

namespace epd::config {

// Shows the settings menu modally and returns when the user closes it. On Windows these are the
// library's own windows; elsewhere the settings are edited with the epd tool, and this says so.
void ShowSettingsMenu();

}  // namespace epd::config
