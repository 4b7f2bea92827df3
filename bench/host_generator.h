#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Host directories of any size for the benchmark: the invoice tables of a pharmacy that has kept
// years of electronic invoices. Products, makers and suppliers have Cyrillic names (code page
// 1251); quantities, prices and sums are numbers, dates are dates, the vital-drug mark is a
// logical, as the host keeps them. The newest invoices wait in epdct.dbf/epdbd.dbf; the settings
// map every field to an output column of its own name, in two-file mode, without code
// replacement, into the export directory given.
namespace epd::bench {

struct HostShape {
  std::uint32_t lines = 1000000;  // rows of body_epd.dbf, exactly
  std::uint32_t mean_lines = 20;  // lines per invoice vary from 1 to 2 * mean - 1 around this
  std::uint32_t seed = 1;
  int level = 3;                 // 3: dBASE III tables (N, C, D, L); 7: level 7 tables (I, O, C, D, L)
  std::uint32_t waiting = 1000;  // the newest invoices, listed in epdct.dbf
};

struct HostFacts {
  std::uint32_t invoices = 0;  // rows of cat_epd.dbf
  std::uint32_t lines = 0;     // rows of body_epd.dbf
  // An invoice in the middle of the tables with exactly `mean_lines` lines (fewer only when the
  // whole table is smaller), for the single export.
  std::int32_t probe_invoice = 0;
  std::uint32_t probe_lines = 0;
  std::vector<std::int32_t> waiting;  // in epdct.dbf order
  std::uint32_t waiting_lines = 0;    // their lines together
};

// Writes into `base` (an existing directory, a code page 1251 path ending in a separator):
//   ORDERS\EPD\cat_epd.dbf, body_epd.dbf, epdct.dbf, epdbd.dbf;
//   DATA\export_epd.ini exporting into `export_directory`;
//   Price\Sellers.dbf with the suppliers.
// Existing files are replaced. The same shape always gives the same bytes (apart from the tables'
// date of last update, which is today's).
HostFacts GenerateHost(const std::string& base, const HostShape& shape, const std::string& export_directory);

// The text that identifies a shape, for reusing a directory generated before.
std::string Describe(const HostShape& shape);

}  // namespace epd::bench
