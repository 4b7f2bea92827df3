// ExportNewEPD: the automatic pass over the invoices listed in ORDERS\EPD\epdct.dbf.
#include <exception>
#include <memory>
#include <string>

#include "export/export_driver.h"
#include "export/export_session.h"
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
  // One session for the pass: what it learns of the settings and the outputs serves every
  // invoice; the invoices are marked delivered group by group (export/export_session.h), and the
  // observer hears each one's answer when its group is done.
  ExportSession session(state);
  const PassObserver observer = Observer();
  PassProgress progress;
  auto finish_group = [&] {
    for (FinishedInvoice& done : session.Commit()) {
      progress.id_msg = done.id_msg;
      progress.outcome = std::move(done.outcome);
      progress.finished = true;
      ++progress.done;
      if (observer) observer(progress);
    }
  };
  try {
    std::unique_ptr<tables::Table> list = tables::Table::Open(list_path);
    if (observer) progress.total = CountInvoices(*list);
    for (list->First(); !list->Eof(); list->Next()) {
      if (list->AsString("CatTyp") == "DR") continue;
      const std::int32_t id_msg = list->AsInteger("idmsg");
      if (session.GroupDue(id_msg)) finish_group();
      progress.id_msg = id_msg;
      progress.finished = false;
      if (observer) observer(progress);
      session.Export(id_msg);  // reports its own failures
    }
    finish_group();
    list->Close();
  } catch (const std::exception& e) {
    finish_group();  // what was exported is marked before the failure is told
    platform::ShowError("Ошибка чтения списка новых накладных "_cp + list_path + ": " + e.what());
    return false;
  }
  return true;
}

}  // namespace epd::exporter
