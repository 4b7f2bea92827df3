// epd doctor: what the host's invoices become in the output files. The values of the invoices
// looked at are tried against the columns of a new output file; the output files an export of
// them would meet are compared with those columns; the file-name mode is tried on every invoice
// number of the host.
#include <algorithm>
#include <exception>
#include <map>
#include <set>

#include "cli_support.h"
#include "config/host_folders.h"
#include "doctor.h"
#include "export/output_files.h"
#include "export/output_table.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

namespace epd::tool::doctor {
namespace {

constexpr std::string_view kValues = "Mapping";
constexpr std::string_view kOutputs = "Output files";
constexpr std::string_view kFileNames = "File names";
constexpr int kMaxCharacterWidth = 254;

std::string ColumnText(const DbfColumn& c) {
  std::string text(1, c.type);
  text.append(" ").append(std::to_string(c.length));
  if (c.decimals != 0) text.append(".").append(std::to_string(c.decimals));
  return text;
}

// One value an export would write into a field, and the invoice it comes from.
struct Sample {
  std::string text;
  std::int32_t id_msg = 0;
};

// The values of a field in the invoices looked at, as the transfer would write them: a listed
// supplier's product code as its substitute code.
std::vector<Sample> SamplesOf(const config::CatalogueField& f, const HostSample& host,
                              const ListedSuppliers& suppliers) {
  std::vector<Sample> samples;
  for (const SampleInvoice& invoice : host.recent) {
    if (f.table == config::FieldTable::kHeader) {
      samples.push_back({invoice.header[static_cast<std::size_t>(f.position)], invoice.id_msg});
      continue;
    }
    bool listed = false;
    if (suppliers.replacing && f.key == "LOCALCOD") {
      const std::optional<std::int32_t> id = config::ParseInteger(invoice.sender_id);
      listed = id && suppliers.listed.count(*id) != 0;
    }
    for (const std::vector<std::string>& line : invoice.lines) {
      const std::string& value = line[static_cast<std::size_t>(f.position - config::kFirstLinePosition)];
      samples.push_back({listed ? std::to_string(suppliers::SubstituteCodeOf(value)) : value, invoice.id_msg});
    }
  }
  return samples;
}

// The reason the engine gives after naming the scratch table: "число не помещается в поле".
std::string ReasonAfter(const std::string& message, const std::string& path) {
  const std::size_t at = message.find(path + ": ");
  return ToUtf8(at == std::string::npos ? message : message.substr(at + path.size() + 2));
}

void CheckFieldValues(const OutputShape& shape, std::size_t i, const std::vector<Sample>& samples,
                      tables::Table& scratch, Findings& findings) {
  const config::CatalogueField& f = CatalogueFieldOf(shape.fields[i].key, shape.kind == exporter::kLineOutput);
  const DbfColumn& column = shape.columns[static_cast<std::size_t>(shape.column_of[i])];
  if (column.type == 'C') {
    auto longest = std::max_element(samples.begin(), samples.end(),
                                    [](const Sample& a, const Sample& b) { return a.text.size() < b.text.size(); });
    if (longest == samples.end() || static_cast<int>(longest->text.size()) <= column.length) return;
    const int needed = std::min(static_cast<int>(longest->text.size()), kMaxCharacterWidth);
    findings.Warning(
        kValues,
        "field " + FieldLabel(f) + ": its column is " + std::to_string(column.length) + " characters wide, but " +
            Quoted(longest->text) + " of invoice " + std::to_string(longest->id_msg) + " has " +
            std::to_string(longest->text.size()) + ": longer texts are cut without a word",
        MappingFix(f, "Set «Длина» to at least " + std::to_string(needed), "length=" + std::to_string(needed)) +
            " Output files made before keep their width: start new ones.");
    return;
  }
  for (const Sample& s : samples) {
    try {
      scratch.SetAsStringAt(shape.column_of[i], s.text);
    } catch (const std::exception& e) {
      findings.Warning(
          kValues,
          "field " + FieldLabel(f) + ": " + Quoted(s.text) + " of invoice " + std::to_string(s.id_msg) +
              " does not go into its column (" + ColumnText(column) + ": " + ReasonAfter(e.what(), scratch.path()) +
              "), which then stays blank without a word",
          MappingFix(f, column.type == 'N' ? "Choose level 7 in «Настройка параметров», or the type ftString"
                                           : "Choose the type ftString"));
      return;
    }
  }
}

// The output files of the invoices looked at, and the fixed ones of the modes whose files every
// invoice shares: path -> kind.
std::map<std::string, int> OutputPaths(const Setup& setup, const HostSample* host) {
  const exporter::Options& o = setup.options;
  std::map<std::string, int> paths;
  auto add = [&](const std::string& folder, std::int32_t id) {
    const exporter::OutputNames names = exporter::OutputFileNames(id, o.singlefile, o.manyfiles, o.charlength);
    if (o.singlefile) {
      paths.emplace(folder + names.header, exporter::kCombinedOutput);
    } else {
      paths.emplace(folder + names.header, exporter::kHeaderOutput);
      paths.emplace(folder + names.line, exporter::kLineOutput);
    }
  };
  const std::string& directory = setup.places.export_directory;
  if (!o.manyfiles && !o.seller) add(directory, 0);
  if (host == nullptr) return paths;
  for (const SampleInvoice& invoice : host->recent) {
    if (o.seller && !exporter::IsPlainFolderName(invoice.sender_id)) continue;
    add(o.seller ? directory + invoice.sender_id + "\\" : directory, invoice.id_msg);
  }
  return paths;
}

// How an existing output file differs from a new one: the mapped columns it lacks, and those it
// holds in another form.
void Compare(const OutputShape& shape, const std::vector<DbfColumn>& existing, std::vector<std::string>& missing,
             std::vector<std::string>& different) {
  for (int index : shape.column_of) {
    if (index < 0) continue;
    const DbfColumn& wanted = shape.columns[static_cast<std::size_t>(index)];
    auto have = std::find_if(existing.begin(), existing.end(),
                             [&](const DbfColumn& c) { return platform::EqualsIgnoreCase(c.name, wanted.name); });
    const std::string name = ToUtf8(wanted.name);
    if (have == existing.end()) {
      if (std::find(missing.begin(), missing.end(), name) == missing.end()) missing.push_back(name);
    } else if (have->type != wanted.type || have->length != wanted.length || have->decimals != wanted.decimals) {
      const std::string text = name + " (" + ColumnText(*have) + " where new files have " + ColumnText(wanted) + ")";
      if (std::find(different.begin(), different.end(), text) == different.end()) different.push_back(text);
    }
  }
}

void CheckExistingOutput(const Setup& setup, const std::string& path, const OutputShape& shape,
                         std::map<std::string, std::vector<std::string>>& differing, Findings& findings) {
  if (std::optional<std::string> why = config::WhyNotAnOutputFile(path, setup.places.base_directory)) {
    findings.Problem(kOutputs, "«" + ToUtf8(*why) + "»",
                     "Choose a folder for the exports alone in «Настройка параметров».");
    return;
  }
  DbfStructure structure;
  try {
    structure = ReadDbfStructure(path);
  } catch (const NotATable& bad) {
    findings.Problem(kOutputs,
                     DisplayPath(path) + " is no dBASE table (" + bad.reason +
                         "): exports into it stop with «Ошибка открытия файла экспорта …»",
                     "Rename it or move it away: the next export makes a new one.");
    return;
  } catch (const std::exception& e) {
    findings.Problem(kOutputs, DisplayPath(path) + " cannot be read: " + ToUtf8(e.what()),
                     "Close the program that holds it; check the disk.");
    return;
  }
  std::vector<std::string> missing, different;
  Compare(shape, structure.columns, missing, different);
  const config::MappedField idmsg = config::ReadMapping(setup.settings, "IDMSG");
  const bool lacks_idmsg = idmsg.exported() && idmsg.type &&
                           std::none_of(structure.columns.begin(), structure.columns.end(), [&](const DbfColumn& c) {
                             return platform::EqualsIgnoreCase(c.name, idmsg.column);
                           });
  if (lacks_idmsg && shape.kind != exporter::kLineOutput) {
    findings.Problem(kOutputs,
                     DisplayPath(path) + " has no column " + ToUtf8(idmsg.column) +
                         " for the invoice number: exports into it stop with «В файле экспорта … нет столбца …, "
                         "указанного для номера накладной (IDMSG)»",
                     "Rename the old file or move it away (a new one gets the current columns), or give IDMSG its "
                     "old column name again.");
    return;
  }
  std::string text;
  if (!missing.empty()) text += "lacks the column(s) " + Named(missing) + " of the mapping: they stay blank";
  if (!different.empty()) text += std::string(text.empty() ? "" : "; ") + "holds " + Named(different);
  if (lacks_idmsg) text += std::string(text.empty() ? "" : "; ") + "replacing an invoice in it fails";
  if (!text.empty()) differing[text].push_back(DisplayPath(path));
}

// The numbers of the host's invoices that the file-name mode puts into one file.
std::optional<std::pair<std::int32_t, std::int32_t>> Collision(const Setup& setup, const HostSample& host,
                                                               std::string& file) {
  std::map<std::string, std::int32_t> first;
  for (const auto& [id, sender] : host.invoices) {
    const exporter::Options& o = setup.options;
    const std::string name =
        (o.seller ? sender + "\\" : std::string()) + exporter::OutputFileNames(id, true, true, o.charlength).header;
    const auto [at, fresh] = first.emplace(name, id);
    if (!fresh && at->second != id) {
      file = name;
      return std::make_pair(at->second, id);
    }
  }
  return std::nullopt;
}

// With a folder per supplier, the supplier's id names it: one that is no plain folder name stops
// the invoice's export.
void CheckSupplierFolders(const HostSample& host, Findings& findings) {
  std::vector<std::string> refused;
  for (const SampleInvoice& invoice : host.recent)
    if (!exporter::IsPlainFolderName(invoice.sender_id))
      refused.push_back(std::to_string(invoice.id_msg) + " (" + Quoted(invoice.sender_id) + ")");
  if (refused.empty()) return;
  findings.Problem(kFileNames,
                   "«Выгружать в папку с кодом поставщика» is on, but the supplier id (IDSENDER) of invoice(s) " +
                       Named(refused) +
                       " cannot name a folder: their export stops with «Ошибка создания файлов экспорта накладной»",
                   "Correct the supplier's id in the host program, or untick «Выгружать в папку с кодом поставщика».");
}

}  // namespace

void CheckValues(const HostSample& host, const ListedSuppliers& suppliers, const std::vector<OutputShape>& shapes,
                 Findings& findings) {
  for (const OutputShape& shape : shapes) {
    try {
      auto scratch = tables::Table::Open(shape.scratch_path);
      scratch->Append();
      for (std::size_t i = 0; i < shape.fields.size(); ++i) {
        if (shape.column_of[i] < 0) continue;
        const config::CatalogueField& f = CatalogueFieldOf(shape.fields[i].key, shape.kind == exporter::kLineOutput);
        CheckFieldValues(shape, i, SamplesOf(f, host, suppliers), *scratch, findings);
      }
      scratch->Cancel();
      scratch->Close();
    } catch (const std::exception& e) {
      findings.Note(kValues, "the values of the invoices could not be tried: " + ToUtf8(e.what()));
    }
  }
}

void CheckExistingOutputs(const Setup& setup, const HostSample* host, const std::vector<OutputShape>& shapes,
                          Findings& findings) {
  if (shapes.empty() || !platform::DirectoryExists(setup.places.export_directory)) return;
  std::map<std::string, std::vector<std::string>> differing;  // what differs -> files
  const int problems = findings.Count(Severity::kProblem);
  int existing = 0;
  for (const auto& [path, kind] : OutputPaths(setup, host)) {
    if (!platform::FileExists(path)) continue;
    ++existing;
    const auto shape =
        std::find_if(shapes.begin(), shapes.end(), [&, k = kind](const OutputShape& s) { return s.kind == k; });
    if (shape != shapes.end()) CheckExistingOutput(setup, path, *shape, differing, findings);
  }
  for (const auto& [text, files] : differing)
    findings.Warning(kOutputs, Named(files) + ": made under another mapping, " + text,
                     "Rename or move the old output files away: the next export makes new ones with the current "
                     "columns. (A file already there keeps its columns whatever the mapping says.)");
  if (existing == 0)
    findings.Ok(kOutputs, "no output file yet: the next export makes them with the current columns");
  else if (differing.empty() && findings.Count(Severity::kProblem) == problems)
    findings.Ok(kOutputs,
                Count(static_cast<std::size_t>(existing), "existing output file has", "existing output files have") +
                    " the columns of the current mapping");
}

void CheckFileNames(const Setup& setup, const HostSample& host, Findings& findings) {
  const exporter::Options& o = setup.options;
  if (o.seller) CheckSupplierFolders(host, findings);
  if (!o.singlefile || !o.manyfiles) return;
  const std::string fix =
      "Set «Количество символов в имени файла» in «Настройка параметров» to the digits of the invoice numbers (or: "
      "epd settings --base DIR set EPD charlength 8).";
  const std::string kept = "«Количество символов в имени файла» (EPD/charlength) keeps " +
                           Count(o.charlength, "digit", "digits") + " of the invoice number";
  if (o.charlength == 0) {
    findings.Warning(kFileNames, kept + ": every invoice goes into the one file .dbf", fix);
    return;
  }
  std::string file;
  if (std::optional<std::pair<std::int32_t, std::int32_t>> pair = Collision(setup, host, file)) {
    findings.Warning(kFileNames,
                     kept + ": invoices " + std::to_string(pair->first) + " and " + std::to_string(pair->second) +
                         " both go into " + ToUtf8(file) + ", two invoices in one file",
                     fix);
    return;
  }
  std::size_t longest = 0;
  for (const auto& invoice : host.invoices) longest = std::max(longest, std::to_string(invoice.first).size());
  if (longest > o.charlength) {
    findings.Warning(kFileNames,
                     kept + ", but the host's invoice numbers have up to " + std::to_string(longest) +
                         ": invoices whose last " + std::to_string(o.charlength) + " digits agree will share one file",
                     fix);
    return;
  }
  findings.Ok(kFileNames, kept + ": every invoice of the host gets a file of its own");
}

}  // namespace epd::tool::doctor
