// The exported functions. Each one runs inside the one guard at the boundary: nothing raised
// inside the library may unwind into the host.
#include "export_epd.h"

#include <exception>

#include "config/settings_menu.h"
#include "export/export_driver.h"
#include "export/library_state.h"
#include "platform/floating_point.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace {

using epd::operator""_cp;

void ReportUnexpected(const std::exception* e) noexcept {
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

// Runs the body of an exported function. Whatever it raises is told to the user, with its cause,
// and goes no further; the floating-point unit is set as the library's code expects it, and
// given back to the host as it was.
template <class Body>
void AtTheBoundary(Body body) noexcept {
  const epd::platform::FloatingPointScope floating_point;
  try {
    body();
  } catch (const std::exception& e) {
    ReportUnexpected(&e);
  } catch (...) {
    ReportUnexpected(nullptr);
  }
}

}  // namespace

extern "C" {

EPD_API bool EPD_STDCALL InitializeEPD(const char* path) {
  AtTheBoundary([&] { epd::exporter::InitializeEPD(path != nullptr ? path : ""); });
  return true;
}

EPD_API bool EPD_STDCALL ExportEPD(int32_t idMsg, int32_t /*unused*/) {
  bool exported = false;
  AtTheBoundary([&] { exported = epd::exporter::ExportInvoice(idMsg).Succeeded(); });
  return exported;
}

EPD_API bool EPD_STDCALL ExportNewEPD(void) {
  bool ran = false;
  AtTheBoundary([&] { ran = epd::exporter::ExportNewEPD(); });
  return ran;
}

EPD_API void EPD_STDCALL ShowSets(void) {
  AtTheBoundary([] {
    const epd::exporter::Places& places = epd::exporter::State().places;
    epd::config::ShowSettingsMenu({places.base_directory, places.data_directory});
  });
}

EPD_API void EPD_STDCALL EPDSetMessageHandler(EPDMessageHandler handler, void* user) {
  epd::platform::SetMessageHandler(handler, user);
}

}  // extern "C"
