// epd doctor: the field mapping, and the columns a new output file gets under it. The columns
// are learnt by creating the file as the export would (export::MakeOutputTable) in a scratch
// folder, so every rule of the output structure applies as it is: type words, duplicate names,
// the 10 characters a level 4-6 file keeps of a name, the level keys.
#include <algorithm>
#include <exception>

#include "cli_support.h"
#include "config/settings_schema.h"
#include "doctor.h"
#include "export/output_files.h"
#include "export/output_table.h"
#include "platform/codepage.h"
#include "tables/table.h"

namespace epd::tool::doctor {
namespace {

constexpr std::string_view kMapping = "Mapping";
constexpr int kEngineLevel = 7;
constexpr std::size_t kWriterNameLength = 10;

bool WrittenByTheWriter(const Setup& setup) {
  return Read(setup.settings, config::reads::output::kLevel) != kEngineLevel;
}

std::string LevelText(const Setup& setup) {
  if (!WrittenByTheWriter(setup)) return "level 7, made by the table engine";
  switch (Read(setup.settings, config::reads::output::kWriterVersion)) {
    case 3: return "dBASE III with a memo mark (0x83)";
    case 4: return "dBASE III (0x03)";
    case 5: return "dBASE IV (0x8B)";
    default: return "no level the writer takes";
  }
}

// Catalogue positions in the order an export writes them into one record: a combined record
// takes the line fields first and then the header's, so a header field wins a shared column.
std::vector<int> WriteOrder(int kind) {
  std::vector<int> order;
  const config::PositionRange range = config::PositionsOfKind(kind == exporter::kCombinedOutput ? 2 : kind);
  for (int p = range.first; p <= range.last; ++p) order.push_back(p);
  if (kind == exporter::kCombinedOutput)
    for (int p = 0; p < config::kHeaderFieldCount; ++p) order.push_back(p);
  return order;
}

const config::CatalogueField& FieldOf(const config::MappedField& field, int kind) {
  return CatalogueFieldOf(field.key, kind == exporter::kLineOutput);
}

// Type words: one of the five, and one the editor offers for the field.
void CheckTypeWords(const Setup& setup, Findings& findings) {
  for (const config::CatalogueField& f : config::kFieldCatalogue) {
    if (f.position == 36 || f.position == 37) continue;  // IDMSG and MSGNUM again
    const config::MappedField field = config::ReadMapping(setup.settings, f.key);
    if (!field.exported()) continue;
    const std::string word = Read(setup.settings, f.key, config::reads::mapping::kType);
    if (!field.type) {
      findings.Warning(kMapping,
                       "field " + FieldLabel(f) + " has the type " + Quoted(word) +
                           ", which is none of ftString, ftInteger, ftFloat, ftDate, ftBoolean: no output file gets "
                           "its column, so it is not exported",
                       MappingFix(f, "Choose the type from the list (written exactly so)"));
      continue;
    }
    const std::span<const std::string_view> offered = config::OfferedTypes(f.types);
    if (std::find(offered.begin(), offered.end(), word) != offered.end()) continue;
    std::string list;
    for (std::string_view w : offered)
      if (!w.empty()) list += (list.empty() ? "" : ", ") + ToUtf8(w);
    findings.Warning(kMapping,
                     "field " + FieldLabel(f) + " has the type " + Quoted(word) +
                         ", which its editor does not offer (" + list + "): its values may not go into such a column",
                     MappingFix(f, "Choose one of the offered types"));
  }
}

void CheckIdMsg(const Setup& setup, Findings& findings) {
  const config::CatalogueField& f = config::kFieldCatalogue[0];
  const config::MappedField idmsg = config::ReadMapping(setup.settings, "IDMSG");
  if (!idmsg.exported() || !idmsg.type) {
    findings.Warning(
        kMapping,
        "the invoice number " + FieldLabel(f) +
            " is not exported: an invoice exported twice is appended twice, and nobody is asked "
            "«Накладная уже экспортирована. Заменить?»",
        MappingFix(f, "Export it, e.g. as IDMSG of type ftInteger", "name=IDMSG length=10 type=ftInteger"));
  } else if (!exporter::IsPlainColumnName(idmsg.column)) {
    findings.Warning(
        kMapping,
        "the invoice number's column name " + Quoted(idmsg.column) +
            " is no plain name: an invoice exported before cannot be replaced («Имя столбца номера "
            "накладной (IDMSG) … не годится для удаления прежней копии…»)",
        MappingFix(f, "Use letters, digits and _ only, e.g. IDMSG, and start new output files", "name=IDMSG"));
  }
}

// Creates the kind's file in the scratch folder and learns its columns and which field the
// transfer would find in each. None when the file cannot be made (a problem then).
std::optional<OutputShape> MakeShape(const Setup& setup, int kind, const std::string& scratch, Findings& findings) {
  OutputShape shape;
  shape.kind = kind;
  shape.scratch_path = scratch + "kind" + std::to_string(kind) + ".dbf";
  const exporter::OutputCreation made = exporter::MakeOutputTable(shape.scratch_path, kind, setup.settings);
  if (!made.created) {
    // The cause may name the scratch file; the user knows the file by its name in the mode.
    std::string cause = made.cause;
    for (std::size_t at; (at = cause.find(shape.scratch_path)) != std::string::npos;)
      cause.replace(at, shape.scratch_path.size(), OutputFileLabel(setup.options, kind));
    findings.Problem(kMapping,
                     "no new output file can be made under these settings (" + LevelText(setup) +
                         "): " + ToUtf8(cause) +
                         "; every export that needs one stops with «Ошибка создания "
                         "файлов экспорта накладной»",
                     "Check the level: «Уровень DBF» in «Настройка параметров» (EPD/lavel) and, for levels 4 to 6, "
                     "Settings/level in the settings file (3, 4 or 5); and the names and lengths in the field "
                     "editors.");
    return std::nullopt;
  }
  for (int position : WriteOrder(kind)) {
    const config::MappedField field =
        config::ReadMapping(setup.settings, config::kFieldCatalogue[static_cast<std::size_t>(position)].key);
    if (!field.exported() || !field.type) continue;
    const bool again = std::any_of(shape.fields.begin(), shape.fields.end(),
                                   [&](const config::MappedField& f) { return f.key == field.key; });
    if (!again) shape.fields.push_back(field);  // IDMSG and MSGNUM of a combined record: one section
  }
  if (shape.fields.empty()) return shape;  // a table without columns, which no reader shows
  shape.columns = ReadDbfStructure(shape.scratch_path).columns;
  auto table = tables::Table::Open(shape.scratch_path);
  for (const config::MappedField& field : shape.fields) shape.column_of.push_back(table->FieldIndex(field.column));
  table->Close();
  return shape;
}

// Fields the transfer finds no column for, and fields that share one.
void CheckColumns(const Setup& setup, const OutputShape& shape, Findings& findings) {
  const std::string file = OutputFileLabel(setup.options, shape.kind);
  for (std::size_t i = 0; i < shape.fields.size(); ++i) {
    const config::MappedField& field = shape.fields[i];
    const config::CatalogueField& f = FieldOf(field, shape.kind);
    if (shape.column_of[i] < 0) {
      const bool cut = WrittenByTheWriter(setup) && field.column.size() > kWriterNameLength;
      findings.Warning(kMapping,
                       "field " + FieldLabel(f) + " gets no column in " + file + ": " +
                           (cut ? "a file of levels 4 to 6 keeps only the first 10 characters of its name " +
                                      Quoted(field.column) + ", under which the export does not find it"
                                : "its name " + Quoted(field.column) + " is taken by another field") +
                           ", so it stays blank",
                       MappingFix(f, cut ? "Give it a name of at most 10 characters, or choose level 7"
                                         : "Give it a name of its own"));
      continue;
    }
    for (std::size_t j = i + 1; j < shape.fields.size(); ++j) {
      if (shape.column_of[j] != shape.column_of[i]) continue;
      const config::CatalogueField& later = FieldOf(shape.fields[j], shape.kind);
      findings.Warning(kMapping,
                       "fields " + FieldLabel(f) + " and " + FieldLabel(later) + " both go into the column " +
                           Quoted(shape.columns[static_cast<std::size_t>(shape.column_of[i])].name) + " of " + file +
                           ": the value of " + std::string(later.key) + " overwrites that of " + std::string(f.key),
                       MappingFix(later, "Give one of them another name"));
    }
  }
}

}  // namespace

std::vector<OutputShape> CheckMapping(const Setup& setup, const std::string& scratch, Findings& findings) {
  CheckTypeWords(setup, findings);
  CheckIdMsg(setup, findings);
  std::vector<OutputShape> shapes;
  const std::vector<int> kinds = setup.options.singlefile
                                     ? std::vector<int>{exporter::kCombinedOutput}
                                     : std::vector<int>{exporter::kHeaderOutput, exporter::kLineOutput};
  for (int kind : kinds) {
    std::optional<OutputShape> shape;
    try {
      shape = MakeShape(setup, kind, scratch, findings);
    } catch (const NotATable& bad) {
      findings.Problem(kMapping, "a new output file is no table a reader takes: " + bad.reason,
                       "Check the names and lengths in the field editors.");
    } catch (const std::exception& e) {
      findings.Problem(kMapping, "the output structure cannot be tried out: " + ToUtf8(e.what()),
                       "Check that the system's folder for temporary files takes new files.");
    }
    if (!shape) return {};
    CheckColumns(setup, *shape, findings);
    shapes.push_back(std::move(*shape));
  }
  std::size_t exported = 0;
  std::string files;
  for (const OutputShape& shape : shapes) {
    exported += shape.fields.size();
    files += (files.empty() ? "" : " and ") + OutputFileLabel(setup.options, shape.kind) + " (" +
             Count(shape.columns.size(), "column", "columns") + ")";
  }
  if (exported == 0) {
    findings.Problem(kMapping, "no field is exported: the output files would have no columns",
                     "Fill in «Имя», «Длина» and «Тип» of the fields to export in «Каталог экспорта» and «Тело "
                     "экспорта».");
    return shapes;
  }
  findings.Ok(kMapping, "new output files: " + files + ", " + LevelText(setup));
  return shapes;
}

}  // namespace epd::tool::doctor
