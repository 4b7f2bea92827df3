#pragma once

#include <cstdint>

namespace epd::exporter {

// Exports one invoice from the host tables into the output files and marks it delivered.
bool ExportEPD(std::int32_t id_msg);

// Exports every invoice listed in ORDERS\EPD\epdct.dbf whose CatTyp is not "DR".
bool ExportNewEPD();

}  // namespace epd::exporter
