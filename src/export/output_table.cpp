#include "export/output_table.h"

#include <exception>

#include "config/field_catalogue.h"
#include "config/field_mapping.h"
#include "config/settings_schema.h"
#include "dbf/dbf_writer.h"
#include "platform/codepage.h"
#include "platform/text.h"
#include "tables/table.h"

namespace epd::exporter {
namespace {

constexpr int kEngineLevel = 7;
constexpr std::size_t kWriterNameLength = 10;

// The writer keeps the first 10 bytes of a name. Two mapped names that agree ignoring case in
// those bytes would give a file with two columns of one name; the later one is left out, as an
// exact duplicate is.
void DropNamesThatClashWhenCut(dbf::TDBFFieldDefs& fields) {
  dbf::TDBFFieldDefs kept;
  for (dbf::TDBFField& field : fields) {
    bool clash = false;
    for (const dbf::TDBFField& earlier : kept)
      clash = clash || platform::EqualsIgnoreCase(earlier.Name.substr(0, kWriterNameLength),
                                                  field.Name.substr(0, kWriterNameLength));
    if (!clash) kept.push_back(std::move(field));
  }
  fields = std::move(kept);
}

bool WriterTakes(int version) { return version == 3 || version == 4 || version == 5; }

OutputCreation WriteEmptyTable(const std::string& path, const tables::FieldDefs& defs, int version) {
  if (!WriterTakes(version)) {
    const config::SettingKey& key = config::keys::kWriterVersion;
    return {false, "Уровень "_cp + std::to_string(version) + " в настройках ("_cp + std::string(key.section) + "/" +
                       std::string(key.name) + ") не годится для записи файла: допустимы 3, 4 и 5"_cp};
  }
  dbf::TDBFFieldDefs fields;
  dbf::FieldDefsToDBFFields(defs, fields);
  DropNamesThatClashWhenCut(fields);
  std::string why;
  if (dbf::CreateDBFFile(path, version, 0, fields, &why)) return {true, {}};
  return {false, std::move(why)};
}

}  // namespace

void AddOutputField(const config::SettingsFile& settings, int position, tables::FieldDefs& defs) {
  try {
    if (position < 0 || position >= config::kFieldCount) return;
    const config::MappedField field =
        config::ReadMapping(settings, config::kFieldCatalogue[static_cast<std::size_t>(position)].key);
    if (!field.exported() || !field.type) return;
    if (defs.IndexOf(field.column) >= 0) return;
    defs.Add(field.column, *field.type, field.width);
  } catch (...) {
    // A field that cannot be added is left out; the list keeps what it held.
  }
}

OutputCreation MakeOutputTable(const std::string& path, int kind, const config::SettingsFile& settings) {
  try {
    if (kind != kHeaderOutput && kind != kLineOutput && kind != kCombinedOutput)
      return {false, "Неизвестный вид файла экспорта "_cp + std::to_string(kind)};
    tables::FieldDefs defs;
    const config::PositionRange range = config::PositionsOfKind(kind);
    for (int position = range.first; position <= range.last; ++position) AddOutputField(settings, position, defs);

    if (Read(settings, config::reads::output::kLevel) == kEngineLevel) {
      tables::CreateTable(path, defs);
      return {true, {}};
    }
    return WriteEmptyTable(path, defs, Read(settings, config::reads::output::kWriterVersion));
  } catch (const std::exception& e) {
    return {false, e.what()};
  } catch (...) {
    return {false, {}};
  }
}

bool CreateOutputTable(const std::string& path, int kind, const config::SettingsFile& settings) {
  return MakeOutputTable(path, kind, settings).created;
}

bool CreateOutputTable(const std::string& path, int kind, const std::string& data_directory) {
  try {
    return CreateOutputTable(path, kind, config::SettingsFile::InDataDirectory(data_directory));
  } catch (...) {
    return false;
  }
}

}  // namespace epd::exporter
