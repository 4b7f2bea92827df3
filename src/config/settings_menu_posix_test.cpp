#include <gtest/gtest.h>

#include <string>

#include "config/settings_menu.h"

namespace {

// Without a window system the settings menu says where the settings are edited, and returns.
TEST(SettingsMenuPosixTest, ShowSetsNamesTheToolsCommandsOnStandardError) {
  ::testing::internal::CaptureStderr();
  epd::config::ShowSettingsMenu({"/host/", "/host/DATA/"});
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Windows build"), std::string::npos) << said;
  for (const char* command : {"epd settings", "epd mapping", "epd suppliers"})
    EXPECT_NE(said.find(command), std::string::npos) << command;
}

}  // namespace
