#pragma once

#include <cstdint>
#include <functional>

namespace epd::exporter {

// Exports one invoice from the host tables into the output files and marks it delivered.
// Reports every failure in a message box and answers false; never raises.
bool ExportEPD(std::int32_t id_msg);

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
  bool exported = false;  // ExportEPD's answer, when finished
};
using PassObserver = std::function<void(const PassProgress&)>;
void SetPassObserver(PassObserver observer);

}  // namespace epd::exporter
