#include "export/export_driver.h"

#include "config/settings_file.h"
#include "export/library_state.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace epd::exporter {

bool ExportEPD(std::int32_t /*id_msg*/) {
  const LibraryState& state = State();
  config::SettingsFile settings = config::SettingsFile::InDataDirectory(state.data_directory);
  if (!settings.ReadBool("EPD", "bExportEPD", false)) return true;
  platform::ShowError("Экспорт накладных ещё не собран в этой версии библиотеки"_cp);
  return false;
}

bool ExportNewEPD() {
  const LibraryState& state = State();
  if (!state.bAutoExportEPD) return false;
  platform::ShowError("Экспорт накладных ещё не собран в этой версии библиотеки"_cp);
  return false;
}

}  // namespace epd::exporter
