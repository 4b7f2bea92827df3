#include "config/field_mapping.h"

#include "config/field_catalogue.h"
#include "config/settings_schema.h"

namespace epd::config {
namespace {

struct TypeWord {
  std::string_view word;
  tables::FieldType type;
};

// In the order they are tried.
constexpr TypeWord kTypeWords[] = {
    {kTypeString, tables::FieldType::kString},   {kTypeInteger, tables::FieldType::kInteger},
    {kTypeFloat, tables::FieldType::kFloat},     {kTypeDate, tables::FieldType::kDate},
    {kTypeBoolean, tables::FieldType::kBoolean},
};

}  // namespace

std::optional<tables::FieldType> ColumnTypeOf(std::string_view word) {
  for (const TypeWord& t : kTypeWords)
    if (t.word == word) return t.type;
  return std::nullopt;
}

MappedField ReadMapping(const SettingsFile& settings, std::string_view key) {
  MappedField field{std::string(key), std::string(), std::nullopt, 0};
  std::string name = Read(settings, key, reads::mapping::kName);
  if (name.empty()) return field;
  if (Read(settings, key, reads::mapping::kLength).empty()) return field;
  const std::string word = Read(settings, key, reads::mapping::kType);
  if (word.empty() || word == kTypeNone) return field;
  field.column = std::move(name);
  field.type = ColumnTypeOf(word);
  if (field.type == tables::FieldType::kString) {
    field.width = Read(settings, key, reads::mapping::kStringWidth);
    // The editors start every length at "0". A width of 0 or less makes a column that holds
    // nothing (and that the engine refuses to create), so it is taken like a length that is no
    // number.
    if (field.width <= 0) field.width = reads::mapping::kStringWidth.fallback;
  }
  return field;
}

}  // namespace epd::config
