#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ini_file.h"

// The settings file export_epd.ini in the data directory and the value kinds stored in it.
// Every reader names its own default; an absent file, section or key reads as that default.
namespace epd::config {

inline constexpr std::string_view kSettingsFileName = "export_epd.ini";
inline constexpr std::string_view kCopyFileName = "export.ini";

// An optionally signed decimal number, or a hexadecimal one introduced by "$", "0x" or "0X",
// within 32 bits; anything else (an empty text included) is no integer.
std::optional<std::int32_t> ParseInteger(std::string_view text);

class SettingsFile {
 public:
  // Opens a file of the settings' form by its full path.
  explicit SettingsFile(const std::string& path) : ini_(path) {}
  // data directory + "export_epd.ini": the settings file every reader and writer opens.
  static SettingsFile InDataDirectory(const std::string& data_directory) {
    return SettingsFile(PathInDataDirectory(data_directory));
  }
  // Its full path; the data directory ends in a backslash (or is empty before InitializeEPD).
  static std::string PathInDataDirectory(const std::string& data_directory);

  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
    return ini_.ReadString(section, key, fallback);
  }
  std::int32_t ReadInteger(std::string_view section, std::string_view key, std::int32_t fallback) const;
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // Raise epd::Error("Unable to write to <path>") when refused.
  void WriteString(std::string_view section, std::string_view key, std::string_view value) {
    ini_.WriteString(section, key, value);
  }
  void WriteBool(std::string_view section, std::string_view key, bool value) {
    ini_.WriteString(section, key, value ? "1" : "0");
  }

  const std::string& path() const { return ini_.path(); }
  // Equal for two snapshots of the same bytes (IniFile::ContentId).
  std::uint64_t ContentId() const { return ini_.ContentId(); }

 private:
  platform::IniFile ini_;
};

// After the parameters are saved, export.ini in the data directory receives a copy of the
// export switch, for programs that look there.
void WriteExportSwitchCopy(const std::string& data_directory, bool export_enabled);

}  // namespace epd::config
