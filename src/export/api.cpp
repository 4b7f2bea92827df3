// The exported functions. Each one catches everything at its edge: nothing raised inside the
// library may unwind into the host.
#include "export_epd.h"

#include <exception>

#include "config/settings_menu.h"
#include "export/export_driver.h"
#include "export/library_state.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace {

using epd::operator""_cp;

void ReportUnexpected(const std::exception* e) {
  try {
    std::string text("Внутренняя ошибка библиотеки экспорта накладных"_cp);
    if (e != nullptr && *e->what() != 0) {
      text += ": ";
      text += e->what();
    }
    epd::platform::ShowError(text);
  } catch (...) {
  }
}

}  // namespace

extern "C" {

EPD_API bool EPD_STDCALL InitializeEPD(const char* path) {
  try {
    epd::exporter::InitializeEPD(path != nullptr ? path : "");
  } catch (const std::exception& e) {
    ReportUnexpected(&e);
  } catch (...) {
    ReportUnexpected(nullptr);
  }
  return true;
}

EPD_API bool EPD_STDCALL ExportEPD(int32_t idMsg, int32_t /*unused*/) {
  try {
    return epd::exporter::ExportEPD(idMsg);
  } catch (const std::exception& e) {
    ReportUnexpected(&e);
  } catch (...) {
    ReportUnexpected(nullptr);
  }
  return false;
}

EPD_API bool EPD_STDCALL ExportNewEPD(void) {
  try {
    return epd::exporter::ExportNewEPD();
  } catch (const std::exception& e) {
    ReportUnexpected(&e);
  } catch (...) {
    ReportUnexpected(nullptr);
  }
  return false;
}

EPD_API void EPD_STDCALL ShowSets(void) {
  try {
    epd::config::ShowSettingsMenu();
  } catch (const std::exception& e) {
    ReportUnexpected(&e);
  } catch (...) {
    ReportUnexpected(nullptr);
  }
}

EPD_API void EPD_STDCALL EPDSetMessageHandler(EPDMessageHandler handler, void* user) {
  epd::platform::SetMessageHandler(handler, user);
}

}  // extern "C"
