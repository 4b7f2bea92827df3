// What the doctor's checks share: the findings and the wording of fields and editors.
#include <algorithm>
#include <exception>

#include "cli_support.h"
#include "doctor.h"
#include "export/output_files.h"
#include "export/output_table.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "text_table.h"

namespace epd::tool::doctor {
namespace {

bool HasColumn(const std::vector<std::string>& columns, std::string_view key) {
  return std::any_of(columns.begin(), columns.end(),
                     [&](const std::string& c) { return platform::EqualsIgnoreCase(c, key); });
}

// The field's caption in its editor, without the closing colon.
std::string Caption(const config::CatalogueField& field) {
  std::string caption = ToUtf8(field.caption);
  while (!caption.empty() && (caption.back() == ':' || caption.back() == ' ')) caption.pop_back();
  return caption;
}

}  // namespace

int Findings::Count(Severity severity) const {
  return static_cast<int>(
      std::count_if(all_.begin(), all_.end(), [&](const Finding& f) { return f.severity == severity; }));
}

bool HostSample::HasHeaderColumn(std::string_view key) const { return HasColumn(header_columns, key); }
bool HostSample::HasLineColumn(std::string_view key) const { return HasColumn(line_columns, key); }

std::string FieldLabel(const config::CatalogueField& field) {
  return std::string(field.key) + " («" + Caption(field) + "»)";
}

std::string MappingFix(const config::CatalogueField& field, std::string_view what, std::string_view assignment) {
  const char* editor = field.table == config::FieldTable::kHeader ? "«Каталог экспорта»" : "«Тело экспорта»";
  return std::string(what) + ": in " + editor + ", row «" + Caption(field) + "» (or: epd mapping --base DIR set " +
         std::string(field.key) + " " + std::string(assignment.empty() ? "..." : assignment) + ").";
}

const config::CatalogueField& CatalogueFieldOf(std::string_view key, bool line) {
  const config::CatalogueField* found = &config::kFieldCatalogue[0];
  for (const config::CatalogueField& f : config::kFieldCatalogue) {
    if (f.key != key) continue;
    if ((f.table == config::FieldTable::kLine) == line) return f;
    found = &f;
  }
  return *found;
}

std::string OutputFileLabel(const exporter::Options& options, int kind) {
  if (options.manyfiles && options.singlefile)
    return "<the last " + std::to_string(options.charlength) + " digits of N>.dbf";
  if (options.manyfiles) return kind == exporter::kLineOutput ? "b<N>.dbf" : "h<N>.dbf";
  const exporter::OutputNames names = exporter::OutputFileNames(0, options.singlefile, false, options.charlength);
  return kind == exporter::kLineOutput ? names.line : names.header;
}

std::optional<std::string> WhyNotWritable(const std::string& directory) {
  const std::string probe = directory + "~epd-doctor.tmp";
  try {
    platform::OpenFile(probe, platform::FileMode::kCreate).reset();
    platform::RemoveFile(probe);
    return std::nullopt;
  } catch (const std::exception& e) {
    return ToUtf8(e.what());
  }
}

std::string Shown(std::string program_path) {
  if (program_path.size() > 1 && program_path.back() == '\\' && !program_path.ends_with(":\\")) program_path.pop_back();
  return DisplayPath(program_path);
}

std::string Quoted(const std::string& cp1251) { return "«" + Printable(ToUtf8(cp1251)) + "»"; }

std::string Named(const std::vector<std::string>& items) {
  constexpr std::size_t kNamed = 3;
  std::string text;
  for (std::size_t i = 0; i < items.size() && i < kNamed; ++i) text += (i == 0 ? "" : ", ") + items[i];
  if (items.size() > kNamed) text += " and " + std::to_string(items.size() - kNamed) + " more";
  return text;
}

std::string Count(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace epd::tool::doctor
