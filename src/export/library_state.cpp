#include "export/library_state.h"

#include "config/settings_file.h"
#include "config/settings_schema.h"

namespace epd::exporter {
namespace {

LibraryState& TheState() {
  static LibraryState state;
  return state;
}

}  // namespace

const LibraryState& State() { return TheState(); }

std::string WithClosingBackslash(std::string text) {
  if (!text.empty() && text.back() != '\\') text += '\\';
  return text;
}

void InitializeEPD(std::string_view base_path) {
  namespace read = config::reads::initialize;
  LibraryState s;
  Places& p = s.places;
  p.base_directory = WithClosingBackslash(std::string(base_path));
  if (!p.base_directory.empty()) {
    p.orders_directory = p.base_directory + "ORDERS\\";
    p.data_directory = p.base_directory + "DATA\\";
  }
  const config::SettingsFile settings = config::SettingsFile::InDataDirectory(p.data_directory);
  p.export_directory = WithClosingBackslash(Read(settings, read::kExportDir));
  Options& o = s.options;
  o.bDOScoding = Read(settings, read::kDosCoding);
  o.manyfiles = Read(settings, read::kManyFiles);
  o.singlefile = Read(settings, read::kSingleFile);
  o.seller = Read(settings, read::kSeller);
  o.bAutoExportEPD = Read(settings, read::kAutoExport);
  o.bchangecncode = Read(settings, read::kChangeCodes);
  o.charlength = static_cast<std::uint8_t>(Read(settings, read::kCharLength) & 0xFF);
  TheState() = std::move(s);
}

}  // namespace epd::exporter
