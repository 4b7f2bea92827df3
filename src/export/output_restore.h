#pragma once

#include <memory>
#include <string>

#include "tables/table.h"

// Whole invoices only: before an export changes an output file it notes how the file looked, and
// a failure afterwards puts the file back so.
namespace epd::exporter {

// One output file of an invoice export.
struct OutputTable {
  std::string path;
  std::unique_ptr<tables::Table> table;
  // The file before this export appended to it: its record count for the engine's
  // TruncateRecords, and its header and last byte, so that the file can be checked and put back
  // byte for byte (a failure between the records and their header write leaves records past the
  // count, which the count alone does not take back).
  tables::Table::FileTail tail_before;
  std::string flags_before;  // deletion flags, noted before a replacement deletes
  bool appending = false;    // this export may have changed the file
};

// Puts the output back as noted: cut to its record count, the records a replacement deleted live
// again, header and last byte as they were. Closes the export's handle first. Returns the text of
// what could not be undone, empty when all went well.
std::string PutBack(OutputTable& output);

}  // namespace epd::exporter
