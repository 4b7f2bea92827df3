#include "config/settings_file.h"

#include "config/settings_schema.h"

namespace epd::config {

std::optional<std::int32_t> ParseInteger(std::string_view text) {
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit = c >= '0' && c <= '9'                 ? c - '0'
                : base == 16 && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : base == 16 && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : -1;
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return std::nullopt;
  }
  if (base == 16) {  // hexadecimal covers the whole 32 bits: $FFFFFFFF is -1
    auto bits = static_cast<std::uint32_t>(value);
    if (negative) bits = 0u - bits;
    return static_cast<std::int32_t>(bits);
  }
  if (negative) {
    if (value > 0x80000000ull) return std::nullopt;
    return static_cast<std::int32_t>(-static_cast<std::int64_t>(value));
  }
  if (value > 0x7FFFFFFFull) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

std::int32_t SettingsFile::ReadInteger(std::string_view section, std::string_view key, std::int32_t fallback) const {
  if (!ini_.HasKey(section, key)) return fallback;
  return ParseInteger(ini_.ReadString(section, key, "")).value_or(fallback);
}

bool SettingsFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) != 0;
}

std::string SettingsFile::PathInDataDirectory(const std::string& data_directory) {
  std::string path = data_directory;  // appended: GCC 12 warns falsely about "+" here
  path.append(kSettingsFileName);
  return path;
}

void WriteExportSwitchCopy(const std::string& data_directory, bool export_enabled) {
  std::string path = data_directory;
  path.append(kCopyFileName);
  SettingsFile copy(path);
  WriteFlag(copy, keys::kExportSwitch, export_enabled);
}

}  // namespace epd::config
