#pragma once

#include <cstdint>
#include <functional>

#include "export/export_outcome.h"
#include "export/library_state.h"

namespace epd::exporter {

class ExportSession;

// Exports one invoice from the host tables into the output files and marks it delivered, with
// the library state and the settings file as they are now: what ExportEPD does, a session of
// one. Reports every failure in a message box; never raises.
ExportOutcome ExportInvoice(std::int32_t id_msg);
// One invoice within a session (export/export_session.h): its records join the session's group,
// which marks it delivered when it ends. Never raises.
ExportOutcome ExportOneInvoice(std::int32_t id_msg, ExportSession& session);

// Exports every invoice listed in ORDERS\EPD\epdct.dbf whose CatTyp is not "DR". False when
// the pass did not run (switched off, a table missing, epdct.dbf unreadable).
bool ExportNewEPD();

// Progress of the automatic pass, for the epd tool's progress bar. With an observer set, the
// pass counts the invoices it will export before it starts. Not part of the DLL's boundary.
struct PassProgress {
  int total = 0;            // invoices the pass exports (rows not of type "DR")
  int done = 0;             // invoices finished so far
  std::int32_t id_msg = 0;  // the invoice starting (finished == false) or just finished
  bool finished = false;
  ExportOutcome outcome;  // the invoice's, when finished
};
using PassObserver = std::function<void(const PassProgress&)>;
void SetPassObserver(PassObserver observer);

}  // namespace epd::exporter
