#pragma once

#include <string>
#include <vector>

#include "dbf/dbf_writer.h"

// The structure of a host's invoice tables and the settings that map every field to an output
// column of its own name. Shared by the sample host generator and the benchmark's generator of
// large host directories.
namespace epd::sample {

// cat_epd.dbf and epdct.dbf: one row per invoice.
const dbf::TDBFFieldDefs& HeaderColumns();
// body_epd.dbf and epdbd.dbf: one row per invoice line.
const dbf::TDBFFieldDefs& LineColumns();

// One field's section in export_epd.ini.
struct MappedField {
  const char* key;
  const char* length;
  const char* type;
};
// Every field of the catalogue, in catalogue order, mapped to an output column named like it.
const std::vector<MappedField>& EveryFieldMapped();

// The sections of EveryFieldMapped() as export_epd.ini text ("\r\n" line ends).
std::string MappingSections();

}  // namespace epd::sample
