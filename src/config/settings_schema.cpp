#include "config/settings_schema.h"

namespace epd::config {
namespace {

std::string TextOf(const FlagReading& reading) { return reading.fallback ? "1" : "0"; }
std::string TextOf(const NumberReading& reading) { return std::to_string(reading.fallback); }
std::string TextOf(const TextReading& reading) { return std::string(reading.fallback); }

}  // namespace

bool Read(const SettingsFile& settings, const FlagReading& reading) {
  return settings.ReadBool(reading.key.section, reading.key.name, reading.fallback);
}

std::int32_t Read(const SettingsFile& settings, const NumberReading& reading) {
  return settings.ReadInteger(reading.key.section, reading.key.name, reading.fallback);
}

std::string Read(const SettingsFile& settings, const TextReading& reading) {
  return settings.ReadString(reading.key.section, reading.key.name, reading.fallback);
}

std::string Read(const SettingsFile& settings, std::string_view field, const TextReading& reading) {
  return settings.ReadString(field, reading.key.name, reading.fallback);
}

std::int32_t Read(const SettingsFile& settings, std::string_view field, const NumberReading& reading) {
  return settings.ReadInteger(field, reading.key.name, reading.fallback);
}

void Write(SettingsFile& settings, const SettingKey& key, std::string_view text) {
  settings.WriteString(key.section, key.name, text);
}

void WriteFlag(SettingsFile& settings, const SettingKey& key, bool value) {
  settings.WriteBool(key.section, key.name, value);
}

void Write(SettingsFile& settings, std::string_view field, const SettingKey& key, std::string_view text) {
  settings.WriteString(field, key.name, text);
}

std::optional<KeyDefaults> DefaultsOf(const SettingKey& key) {
  // Each general key has one reader on the export side and at most one in the dialog.
  struct Entry {
    const SettingKey* key;
    std::string export_side;
    std::optional<std::string> dialog;
  };
  using namespace reads;
  const Entry entries[] = {
      {&keys::kExportSwitch, TextOf(export_epd::kExportSwitch), TextOf(parameters::kExportSwitch)},
      {&keys::kExportDir, TextOf(initialize::kExportDir), TextOf(parameters::kExportDir)},
      {&keys::kDosCoding, TextOf(initialize::kDosCoding), TextOf(parameters::kDosCoding)},
      {&keys::kLevel, TextOf(output::kLevel), TextOf(parameters::kLevel)},
      {&keys::kSingleFile, TextOf(initialize::kSingleFile), TextOf(parameters::kSingleFile)},
      {&keys::kManyFiles, TextOf(initialize::kManyFiles), TextOf(parameters::kManyFiles)},
      {&keys::kCharLength, TextOf(initialize::kCharLength), TextOf(parameters::kCharLength)},
      {&keys::kSeller, TextOf(initialize::kSeller), TextOf(parameters::kSeller)},
      {&keys::kAutoExport, TextOf(initialize::kAutoExport), TextOf(parameters::kAutoExport)},
      {&keys::kChangeCodes, TextOf(initialize::kChangeCodes), TextOf(parameters::kChangeCodes)},
      {&keys::kWriterVersion, TextOf(output::kWriterVersion), std::nullopt},
  };
  for (const Entry& entry : entries) {
    if (entry.key != &key) continue;
    KeyDefaults defaults{entry.export_side, std::nullopt};
    if (entry.dialog && *entry.dialog != entry.export_side) defaults.dialog = entry.dialog;
    return defaults;
  }
  return std::nullopt;
}

}  // namespace epd::config
