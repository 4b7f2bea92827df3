#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/field_catalogue.h"
#include "config/field_mapping.h"
#include "config/settings_file.h"
#include "dbf_structure.h"
#include "export/library_state.h"

// epd doctor: the set-up of one host checked the way an export will meet it. Each check adds
// findings; a problem is anything that makes an export fail, refuse or write where it must not,
// a warning anything that makes it lose or mix data without a word. The texts are the tool's
// own (English, UTF-8); the controls are named as the settings windows show them, in Russian,
// and the library's own messages are quoted as it shows them.
namespace epd::tool::doctor {

enum class Severity { kOk, kNote, kWarning, kProblem };

struct Finding {
  Severity severity = Severity::kOk;
  std::string topic;  // the part of the set-up: "Settings", "Export directory", ...
  std::string what;   // what was found, with the file, the field or the value
  std::string fix;    // what to do; empty for ok and most notes
};

class Findings {
 public:
  void Ok(std::string_view topic, std::string what) { Add(Severity::kOk, topic, std::move(what), {}); }
  void Note(std::string_view topic, std::string what, std::string fix = {}) {
    Add(Severity::kNote, topic, std::move(what), std::move(fix));
  }
  void Warning(std::string_view topic, std::string what, std::string fix) {
    Add(Severity::kWarning, topic, std::move(what), std::move(fix));
  }
  void Problem(std::string_view topic, std::string what, std::string fix) {
    Add(Severity::kProblem, topic, std::move(what), std::move(fix));
  }

  const std::vector<Finding>& all() const { return all_; }
  int Count(Severity severity) const;

 private:
  void Add(Severity severity, std::string_view topic, std::string what, std::string fix) {
    all_.push_back({severity, std::string(topic), std::move(what), std::move(fix)});
  }
  std::vector<Finding> all_;
};

// The host as InitializeEPD left the library state, and one snapshot of its settings file.
struct Setup {
  exporter::Places places;
  exporter::Options options;
  config::SettingsFile settings;
  std::string raw_export_dir;  // EPD/Export_Dir as stored, code page 1251

  std::string HostTable(std::string_view name) const { return places.orders_directory + "EPD\\" + std::string(name); }
};

// An invoice of the host as the doctor looked at it: its header and lines as an export reads
// them (the same statements), each catalogue field's value as the transfer would take it.
struct SampleInvoice {
  std::int32_t id_msg = 0;
  std::string sender_id;                        // idSender as text, code page 1251
  std::vector<std::string> header;              // by header position 0..35; empty: no such column
  std::vector<std::vector<std::string>> lines;  // each by line position 36..72 (index - 36)
};

// What the host tables hold, as far as the later checks need it.
struct HostSample {
  std::vector<std::string> header_columns;  // cat_epd.dbf's columns
  std::vector<std::string> line_columns;    // body_epd.dbf's columns
  // Every invoice of cat_epd.dbf: its number and its supplier's id as text (for file names).
  std::vector<std::pair<std::int32_t, std::string>> invoices;
  std::vector<SampleInvoice> recent;  // the waiting invoices first, then the newest of cat_epd.dbf
  bool HasHeaderColumn(std::string_view key) const;
  bool HasLineColumn(std::string_view key) const;
};

// The suppliers whose codes the export replaces: listed in SelList.dbf while replacement is on.
struct ListedSuppliers {
  std::map<std::int32_t, std::string> listed;  // id -> name (code page 1251)
  bool replacing = false;                      // Settings/bchangecncode
};

// The columns an output file of one kind gets under the current mapping, learnt by creating one
// in a scratch folder as the export would: the field of each column, and what became of the
// fields that got none.
struct OutputShape {
  int kind = 0;
  std::vector<DbfColumn> columns;           // as the file holds them
  std::vector<config::MappedField> fields;  // the exported fields of the kind, in catalogue order
  std::vector<int> column_of;               // per field: the column the transfer finds, or -1
  std::string scratch_path;                 // the scratch table, for trying values (empty: none)
};

// The checks, in the order the report shows them.
void CheckSettings(const Setup& setup, Findings& findings);
void CheckExportDirectory(const Setup& setup, Findings& findings);
std::optional<HostSample> CheckHostTables(const Setup& setup, Findings& findings);
void CheckSupplierTables(const Setup& setup, ListedSuppliers& suppliers, Findings& findings);
// The output kinds of the mode (1 and 2, or 3) as created in `scratch_directory`; none when
// the mapping makes no file at all (a problem already added).
std::vector<OutputShape> CheckMapping(const Setup& setup, const std::string& scratch_directory, Findings& findings);
void CheckValues(const HostSample& host, const ListedSuppliers& suppliers, const std::vector<OutputShape>& shapes,
                 Findings& findings);
void CheckExistingOutputs(const Setup& setup, const HostSample* host, const std::vector<OutputShape>& shapes,
                          Findings& findings);
void CheckFileNames(const Setup& setup, const HostSample& host, Findings& findings);
void CheckCodeReplacement(const Setup& setup, const ListedSuppliers& suppliers, Findings& findings);

// Shared wording.
std::string FieldLabel(const config::CatalogueField& field);  // "SENDER («Наименование поставщика (Sender):»)"
// Where the user changes a field's mapping: the editor of its table, and the epd command with
// the assignment given ("length=26"; "..." when empty).
std::string MappingFix(const config::CatalogueField& field, std::string_view what, std::string_view assignment = {});
// The catalogue entry of a key; of the line table when `line` and the key has one there.
const config::CatalogueField& CatalogueFieldOf(std::string_view key, bool line);
// The name of an output file of the kind (1 header, 2 line, 3 combined) in the file-name mode,
// with <N> for the invoice number where the mode puts it there.
std::string OutputFileLabel(const exporter::Options& options, int kind);
// Why the folder (ending in a backslash) takes no new file, tried as an export does: nothing
// when it takes one.
std::optional<std::string> WhyNotWritable(const std::string& directory);
// A file or folder as the system names it, for the report; a folder without its closing
// backslash (but "C:\").
std::string Shown(std::string program_path);
// A code page 1251 text of the host or the settings, in UTF-8 between guillemets.
std::string Quoted(const std::string& cp1251);
// The first few of a list, then how many more: "240101, 240102, 240104 and 5 more".
std::string Named(const std::vector<std::string>& items);
// "1 character" / "12 characters".
std::string Count(std::size_t n, std::string_view one, std::string_view many);

}  // namespace epd::tool::doctor
