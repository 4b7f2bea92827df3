// epd settings, epd mapping: export_epd.ini in the host's DATA directory.
#include <cstdio>
#include <optional>
#include <string>

#include "cli_support.h"
#include "commands.h"
#include "config/field_catalogue.h"
#include "config/field_mapping.h"
#include "config/host_folders.h"
#include "config/settings_file.h"
#include "config/settings_schema.h"
#include "export/library_state.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "text_table.h"

namespace epd::tool {
namespace {

std::string SettingsPath() {
  return config::SettingsFile::PathInDataDirectory(exporter::State().places.data_directory);
}

// A key's default as epd settings show prints it: what the export does when the key is absent,
// and what the parameters dialog shows where that differs.
std::string DefaultOf(const config::SettingKey& key) {
  const std::optional<config::KeyDefaults> defaults = config::DefaultsOf(key);
  if (!defaults) return "";
  auto shown = [](const std::string& text) { return text.empty() ? std::string("(empty)") : text; };
  std::string text = shown(defaults->export_side);
  if (defaults->dialog) text += " (dialog: " + shown(*defaults->dialog) + ")";
  return text;
}

// A type word as the mapping takes it: one of the five, "нет", or empty.
bool IsTypeWord(std::string_view word) {
  return word.empty() || word == config::kTypeNone || config::ColumnTypeOf(word).has_value();
}

std::string Stored(const platform::IniFile& ini, const std::string& section, const std::string& key) {
  if (!ini.HasKey(section, key)) return "(not set)";
  return Printable(ToUtf8(ini.ReadString(section, key, "")));
}

void Write(const std::string& section, const std::string& key, const std::string& value) {
  const std::string path = SettingsPath();
  const std::string& data_directory = exporter::State().places.data_directory;
  if (!platform::DirectoryExists(data_directory))
    throw Failure{"the host has no DATA directory: " + DisplayPath(data_directory)};
  try {
    config::SettingsFile settings(path);
    settings.WriteString(section, key, value);
  } catch (const std::exception& e) {
    throw Failure{ToUtf8(e.what())};
  }
}

const config::CatalogueField* FindField(const std::string& key) {
  for (const config::CatalogueField& f : config::kFieldCatalogue)
    if (platform::EqualsIgnoreCase(f.key, key)) return &f;
  return nullptr;
}

}  // namespace

int RunSettingsShow(const std::string& base) {
  OpenHost(base);
  platform::IniFile ini(SettingsPath());
  std::printf("%s%s\n", DisplayPath(SettingsPath()).c_str(),
              platform::FileExists(SettingsPath()) ? "" : " (missing: every option has its default)");
  TextTable table({"SECTION", "KEY", "VALUE", "DEFAULT", "MEANING"});
  for (const config::SettingKey* k : config::kGeneralKeys) {
    const std::string section(k->section), key(k->name);
    table.AddRow({section, key, Stored(ini, section, key), DefaultOf(*k), std::string(k->meaning)});
  }
  std::fputs(table.Render().c_str(), stdout);
  std::puts("Field mappings: epd mapping show. A running host program sees changed options at its next InitializeEPD.");
  return kExitOk;
}

int RunSettingsGet(const std::string& base, const std::string& section, const std::string& key) {
  OpenHost(base);
  platform::IniFile ini(SettingsPath());
  const std::string s = ToCp1251(section, "The section"), k = ToCp1251(key, "The key");
  if (!ini.HasKey(s, k)) throw Failure{section + "/" + key + " is not set in " + DisplayPath(SettingsPath())};
  std::printf("%s\n", ToUtf8(ini.ReadString(s, k, "")).c_str());
  return kExitOk;
}

int RunSettingsSet(const std::string& base, const std::string& section, const std::string& key,
                   const std::string& value) {
  const std::string host = OpenHost(base);
  std::string text = ToCp1251(value, "The value");
  const config::SettingKey& dir = config::keys::kExportDir;
  if (platform::EqualsIgnoreCase(section, dir.section) && platform::EqualsIgnoreCase(key, dir.name) && !value.empty()) {
    // Stored as the library builds paths: absolute, "\"-separated. Never the host's own folder
    // of invoice tables, which the export would append to and delete from.
    text = ProgramPath(value);
    if (std::optional<std::string> why = config::WhyNotAnExportDirectory(text, host)) throw Failure{ToUtf8(*why)};
  }
  Write(ToCp1251(section, "The section"), ToCp1251(key, "The key"), text);
  std::string shown = ToUtf8(text);
  if (text != ToCp1251(value, "The value")) shown += "  (" + DisplayPath(text) + ")";
  std::printf("%s/%s = %s\n", section.c_str(), key.c_str(), shown.c_str());
  return kExitOk;
}

int RunMappingShow(const std::string& base) {
  OpenHost(base);
  config::SettingsFile settings(SettingsPath());
  TextTable table({"POS", "KEY", "TABLE", "NAME", "LENGTH", "TYPE", "EXPORTED"});
  table.AlignRight(0);
  namespace read = config::reads::mapping;
  for (const config::CatalogueField& f : config::kFieldCatalogue) {
    const config::MappedField field = config::ReadMapping(settings, f.key);
    const std::string exported = !field.exported() ? "no" : field.type ? "yes" : "no column: unknown type";
    table.AddRow(
        {std::to_string(f.position), std::string(f.key), f.table == config::FieldTable::kHeader ? "header" : "line",
         Printable(ToUtf8(Read(settings, f.key, read::kName))), Printable(ToUtf8(Read(settings, f.key, read::kLength))),
         Printable(ToUtf8(Read(settings, f.key, read::kType))), exported});
  }
  std::printf("%s\n", DisplayPath(SettingsPath()).c_str());
  std::fputs(table.Render().c_str(), stdout);
  return kExitOk;
}

int RunMappingSet(const std::string& base, const std::string& key, const std::vector<std::string>& assignments) {
  const config::CatalogueField* field = FindField(key);
  if (field == nullptr) throw Failure{"no field " + key + " in the catalogue (see: epd mapping show)", kExitUsage};
  std::vector<std::pair<std::string, std::string>> writes;
  for (const std::string& a : assignments) {
    const auto eq = a.find('=');
    const std::string name = a.substr(0, eq);
    using config::keys::kLength, config::keys::kName, config::keys::kType;
    if (eq == std::string::npos || (name != kName.name && name != kLength.name && name != kType.name))
      throw Failure{"\"" + a + "\": expected name=TEXT, length=DIGITS or type=WORD", kExitUsage};
    std::string value = a.substr(eq + 1);
    if (name == kLength.name && value.find_first_not_of("0123456789") != std::string::npos)
      throw Failure{"length must be a number of characters, not \"" + value + "\"", kExitUsage};
    if (name == kType.name) {
      if (value == "none") value = ToUtf8(config::kTypeNone);
      if (!IsTypeWord(platform::Utf8ToCp1251(value)))
        throw Failure{
            "type must be one of ftString, ftInteger, ftFloat, ftDate, ftBoolean, нет (none), not \"" + value + "\"",
            kExitUsage};
    }
    writes.emplace_back(name, ToCp1251(value, "The " + name));
  }
  if (writes.empty()) throw Failure{"nothing to set: give name=…, length=… and/or type=…", kExitUsage};
  OpenHost(base);
  for (const auto& [name, value] : writes) Write(std::string(field->key), name, value);
  namespace read = config::reads::mapping;
  const config::SettingsFile settings(SettingsPath());
  std::printf("[%s] name=%s length=%s type=%s\n", std::string(field->key).c_str(),
              ToUtf8(Read(settings, field->key, read::kName)).c_str(),
              ToUtf8(Read(settings, field->key, read::kLength)).c_str(),
              ToUtf8(Read(settings, field->key, read::kType)).c_str());
  return kExitOk;
}

}  // namespace epd::tool
