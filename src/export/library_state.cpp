#include "export/library_state.h"

#include "config/settings_file.h"

namespace epd::exporter {

LibraryState& State() {
  static LibraryState state;
  return state;
}

std::string WithClosingBackslash(std::string text) {
  if (!text.empty() && text.back() != '\\') text += '\\';
  return text;
}

void InitializeEPD(std::string_view base_path) {
  LibraryState s;
  s.base_directory = WithClosingBackslash(std::string(base_path));
  if (!s.base_directory.empty()) {
    s.orders_directory = s.base_directory + "ORDERS\\";
    s.data_directory = s.base_directory + "DATA\\";
  }
  std::string settings_path = s.data_directory;  // appended: GCC 12 warns falsely about "+" here
  settings_path.append(config::kSettingsFileName);
  config::SettingsFile settings(settings_path);
  s.export_directory = WithClosingBackslash(settings.ReadString("EPD", "Export_Dir", ""));
  s.bDOScoding = settings.ReadBool("EPD", "bDOScoding", false);
  s.manyfiles = settings.ReadBool("EPD", "manyfiles", false);
  s.singlefile = settings.ReadBool("EPD", "singlefile", false);
  s.seller = settings.ReadBool("EPD", "seller", false);
  s.bAutoExportEPD = settings.ReadBool("EPD", "bAutoExportEPD", false);
  s.bchangecncode = settings.ReadBool("Settings", "bchangecncode", false);
  s.charlength = 8;
  std::string charlength = settings.ReadString("EPD", "charlength", "");
  if (!charlength.empty()) {
    if (auto value = config::ParseInteger(charlength)) s.charlength = static_cast<std::uint8_t>(*value & 0xFF);
  }
  State() = std::move(s);
}

}  // namespace epd::exporter
