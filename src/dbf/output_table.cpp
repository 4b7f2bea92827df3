#include "dbf/output_table.h"

#include <optional>

#include "config/field_catalogue.h"
#include "dbf/dbf_writer.h"
#include "export/library_state.h"
#include "platform/codepage.h"
#include "tables/table.h"

namespace epd::dbf {
namespace {

constexpr int kEngineLevel = 7;
constexpr int kDefaultLevel = 5;
constexpr int kDefaultStringLength = 10;
constexpr std::size_t kWriterNameLength = 10;

struct MappedType {
  std::string_view word;
  tables::FieldType type;
};

// The type words in the order they are tried; the comparison is exact, letter case included.
constexpr MappedType kMappedTypes[] = {
    {config::kTypeString, tables::FieldType::kString},   {config::kTypeInteger, tables::FieldType::kInteger},
    {config::kTypeFloat, tables::FieldType::kFloat},     {config::kTypeDate, tables::FieldType::kDate},
    {config::kTypeBoolean, tables::FieldType::kBoolean},
};

std::optional<tables::FieldType> TypeOfWord(std::string_view word) {
  for (const MappedType& m : kMappedTypes)
    if (m.word == word) return m.type;
  return std::nullopt;
}

// The writer keeps the first 10 bytes of a name. Two mapped names that agree ignoring case in
// those bytes would give a file with two columns of one name; the later one is left out, as an
// exact duplicate is.
void DropNamesThatClashWhenCut(TDBFFieldDefs& fields) {
  TDBFFieldDefs kept;
  for (TDBFField& field : fields) {
    bool clash = false;
    for (const TDBFField& earlier : kept)
      clash = clash || platform::EqualsIgnoreCase(earlier.Name.substr(0, kWriterNameLength),
                                                  field.Name.substr(0, kWriterNameLength));
    if (!clash) kept.push_back(std::move(field));
  }
  fields = std::move(kept);
}

}  // namespace

void AddOutputField(const config::SettingsFile& settings, int position, tables::FieldDefs& defs) {
  try {
    if (position < 0 || position >= config::kFieldCount) return;
    const std::string_view section = config::kFieldCatalogue[static_cast<std::size_t>(position)].key;
    const std::string name = settings.ReadString(section, "name", "");
    if (name.empty()) return;
    if (settings.ReadString(section, "length", "").empty()) return;
    const std::string word = settings.ReadString(section, "type", "");
    if (word.empty() || word == config::kTypeNone) return;
    const std::optional<tables::FieldType> type = TypeOfWord(word);
    if (!type) return;
    int size = 0;
    if (*type == tables::FieldType::kString) {
      size = settings.ReadInteger(section, "length", kDefaultStringLength);
      // The editors start every length at "0". A width of 0 or less makes a column that holds
      // nothing (and that the engine refuses to create), so it is taken like a length that is
      // no number.
      if (size <= 0) size = kDefaultStringLength;
    }
    if (defs.IndexOf(name) >= 0) return;
    defs.Add(name, *type, size);
  } catch (...) {
    // A field that cannot be added is left out; the list keeps what it held.
  }
}

bool CreateOutputTable(const std::string& path, int kind, const config::SettingsFile& settings) {
  try {
    if (kind != kHeaderOutput && kind != kLineOutput && kind != kCombinedOutput) return false;
    tables::FieldDefs defs;
    const config::PositionRange range = config::PositionsOfKind(kind);
    for (int position = range.first; position <= range.last; ++position) AddOutputField(settings, position, defs);

    if (settings.ReadInteger("EPD", "lavel", kDefaultLevel) == kEngineLevel) {
      tables::CreateTable(path, defs);
      return true;
    }
    TDBFFieldDefs fields;
    FieldDefsToDBFFields(defs, fields);
    DropNamesThatClashWhenCut(fields);
    const int version = settings.ReadInteger("Settings", "level", kDefaultLevel);
    return CreateDBFFile(path, version, 0, fields);
  } catch (...) {
    return false;
  }
}

bool CreateOutputTable(const std::string& path, int kind) {
  try {
    const config::SettingsFile settings = config::SettingsFile::InDataDirectory(exporter::State().data_directory);
    return CreateOutputTable(path, kind, settings);
  } catch (...) {
    return false;
  }
}

}  // namespace epd::dbf
