// ExportNewEPD: the automatic pass over the invoices listed in ORDERS\EPD\epdct.dbf.
#include <exception>
#include <memory>
#include <string>

#include "export/export_driver.h"
#include "export/library_state.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "tables/table.h"

namespace epd::exporter {
namespace {

PassObserver& Observer() {
  static PassObserver observer;
  return observer;
}

int CountInvoices(tables::Table& list) {
  int total = 0;
  for (list.First(); !list.Eof(); list.Next())
    if (list.AsString("CatTyp") != "DR") ++total;
  return total;
}

}  // namespace

void SetPassObserver(PassObserver observer) { Observer() = std::move(observer); }

bool ExportNewEPD() {
  const LibraryState& state = State();
  if (!state.options.bAutoExportEPD) return false;
  const std::string directory = state.places.orders_directory + "EPD\\";
  const std::string list_path = directory + "epdct.dbf";
  if (!platform::FileExists(list_path)) return false;
  if (!platform::FileExists(directory + "epdbd.dbf")) return false;
  try {
    std::unique_ptr<tables::Table> list = tables::Table::Open(list_path);
    const PassObserver observer = Observer();
    PassProgress progress;
    if (observer) progress.total = CountInvoices(*list);
    for (list->First(); !list->Eof(); list->Next()) {
      if (list->AsString("CatTyp") == "DR") continue;
      progress.id_msg = list->AsInteger("idmsg");
      progress.finished = false;
      if (observer) observer(progress);
      progress.outcome = ExportInvoice(progress.id_msg);  // reports its own failures
      progress.finished = true;
      ++progress.done;
      if (observer) observer(progress);
    }
    list->Close();
  } catch (const std::exception& e) {
    platform::ShowError("Ошибка чтения списка новых накладных "_cp + list_path + ": " + e.what());
    return false;
  }
  return true;
}

}  // namespace epd::exporter
