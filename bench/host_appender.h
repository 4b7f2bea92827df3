#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The host's own program at work while the library stays loaded: it receives invoices and
// appends them to ORDERS\EPD\cat_epd.dbf and body_epd.dbf through file handles of its own, as it
// writes them (the records and the end marker after them, then the header's count), and lists
// them in epdct.dbf. For the benchmark, which also puts the tables back afterwards.
namespace epd::bench {

// Appends `invoices` invoices numbered from `first_id` on, each with `lines` lines: copies of the
// last header record and of the last lines of the tables under the new numbers, not delivered.
// Answers the header records appended.
std::vector<std::string> AppendInvoices(const std::string& base, std::int32_t first_id, std::uint32_t invoices,
                                        std::uint32_t lines);

// Rewrites epdct.dbf in place to list exactly these header records.
void ListInvoices(const std::string& base, const std::vector<std::string>& headers);

// Gives the last line record of body_epd.dbf the message number `id`, in place: an old record
// renumbered, a change the scan cache's sample sees.
void RenumberLastLine(const std::string& base, std::int32_t id);

// What the tables were, for putting them back: the counts, the last record of each and the whole
// of epdct.dbf.
struct HostTables {
  std::uint32_t invoices = 0, lines = 0;
  std::string last_header, last_line, list;
  std::int32_t next_invoice = 0;  // the number after the last header's
};
HostTables Remember(const std::string& base);
void PutBack(const std::string& base, const HostTables& tables);

}  // namespace epd::bench
