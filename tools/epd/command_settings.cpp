// epd settings, epd mapping: export_epd.ini in the host's DATA directory.
#include <cstdio>
#include <string>

#include "cli_support.h"
#include "commands.h"
#include "config/field_catalogue.h"
#include "config/settings_file.h"
#include "export/library_state.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/ini_file.h"
#include "text_table.h"

namespace epd::tool {
namespace {

struct GeneralKey {
  const char* section;
  const char* key;
  const char* meaning;
};
constexpr GeneralKey kGeneralKeys[] = {
    {"EPD", "bExportEPD", "export switched on (1) or off (0)"},
    {"EPD", "Export_Dir", "export directory"},
    {"EPD", "bDOScoding", "texts in DOS code page 866 (1) or Windows 1251 (0)"},
    {"EPD", "lavel", "DBF level of new output files: 7 by the table engine, else 5"},
    {"EPD", "singlefile", "header and lines in one file"},
    {"EPD", "manyfiles", "files of their own for every invoice"},
    {"EPD", "charlength", "digits of the invoice number in single-file names (default 8)"},
    {"EPD", "seller", "a subfolder per supplier id"},
    {"EPD", "bAutoExportEPD", "automatic export of new invoices"},
    {"Settings", "bchangecncode", "substitute codes for the listed suppliers"},
    {"Settings", "level", "file version of the library's own DBF writer (3, 4 or 5; default 5)"},
};

std::string SettingsPath() {
  std::string path = exporter::State().data_directory;
  path.append(config::kSettingsFileName);
  return path;
}

std::string Stored(const platform::IniFile& ini, const std::string& section, const std::string& key) {
  if (!ini.HasKey(section, key)) return "(not set)";
  return Printable(ToUtf8(ini.ReadString(section, key, "")));
}

void Write(const std::string& section, const std::string& key, const std::string& value) {
  const std::string path = SettingsPath();
  if (!platform::DirectoryExists(exporter::State().data_directory))
    throw Failure{"the host has no DATA directory: " + DisplayPath(exporter::State().data_directory)};
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
  TextTable table({"SECTION", "KEY", "VALUE", "MEANING"});
  for (const GeneralKey& k : kGeneralKeys) table.AddRow({k.section, k.key, Stored(ini, k.section, k.key), k.meaning});
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
  OpenHost(base);
  std::string text = ToCp1251(value, "The value");
  // The export directory is stored as the library builds paths: absolute, "\"-separated.
  if (platform::EqualsIgnoreCase(section, "EPD") && platform::EqualsIgnoreCase(key, "Export_Dir") && !value.empty())
    text = ProgramPath(value);
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
  for (const config::CatalogueField& f : config::kFieldCatalogue) {
    const std::string name = settings.ReadString(f.key, "name", "");
    const std::string length = settings.ReadString(f.key, "length", "");
    const std::string type = settings.ReadString(f.key, "type", "");
    std::string exported = "no";
    if (!name.empty() && !length.empty() && !type.empty() && type != config::kTypeNone) {
      exported = "yes";
      bool known = false;
      for (std::string_view word :
           {config::kTypeString, config::kTypeInteger, config::kTypeFloat, config::kTypeDate, config::kTypeBoolean})
        known = known || type == word;
      if (!known) exported = "no column: unknown type";
    }
    table.AddRow({std::to_string(f.position), std::string(f.key),
                  f.table == config::FieldTable::kHeader ? "header" : "line", Printable(ToUtf8(name)),
                  Printable(ToUtf8(length)), Printable(ToUtf8(type)), exported});
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
    if (eq == std::string::npos || (name != "name" && name != "length" && name != "type"))
      throw Failure{"\"" + a + "\": expected name=TEXT, length=DIGITS or type=WORD", kExitUsage};
    std::string value = a.substr(eq + 1);
    if (name == "length" && value.find_first_not_of("0123456789") != std::string::npos)
      throw Failure{"length must be a number of characters, not \"" + value + "\"", kExitUsage};
    if (name == "type") {
      if (value == "none") value = ToUtf8(config::kTypeNone);
      bool known = value.empty() || value == ToUtf8(config::kTypeNone);
      for (std::string_view word :
           {config::kTypeString, config::kTypeInteger, config::kTypeFloat, config::kTypeDate, config::kTypeBoolean})
        known = known || value == word;
      if (!known)
        throw Failure{
            "type must be one of ftString, ftInteger, ftFloat, ftDate, ftBoolean, нет (none), not \"" + value + "\"",
            kExitUsage};
    }
    writes.emplace_back(name, ToCp1251(value, "The " + name));
  }
  if (writes.empty()) throw Failure{"nothing to set: give name=…, length=… and/or type=…", kExitUsage};
  OpenHost(base);
  for (const auto& [name, value] : writes) Write(std::string(field->key), name, value);
  config::SettingsFile settings(SettingsPath());
  std::printf("[%s] name=%s length=%s type=%s\n", std::string(field->key).c_str(),
              ToUtf8(settings.ReadString(field->key, "name", "")).c_str(),
              ToUtf8(settings.ReadString(field->key, "length", "")).c_str(),
              ToUtf8(settings.ReadString(field->key, "type", "")).c_str());
  return kExitOk;
}

}  // namespace epd::tool
