#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/settings_file.h"
#include "tables/field_defs.h"

// Whether and how one catalogue field is exported, read from its section of export_epd.ini: the
// one rule that the output structure builder, the record transfer and the export's duplicate
// check share. A field is exported when its section has a non-empty `name` and `length` and a
// `type` that is neither empty nor "нет"; its column is then named `name`. Only the five type
// words make a column: a field of any other type is exported, but no output has its column, so
// the transfer finds none and leaves it out.
namespace epd::config {

struct MappedField {
  std::string key;     // the field key: its section and its source column
  std::string column;  // the output column; empty: not exported
  // What the builder makes of an exported field: the column type of its type word (none for a
  // word outside the five) and, for ftString, the width: `length` as a number, 10 when it is no
  // number or not above 0.
  std::optional<tables::FieldType> type;
  int width = 0;

  bool exported() const { return !column.empty(); }
};

MappedField ReadMapping(const SettingsFile& settings, std::string_view key);

// The column type of a type word ("ftString", ... "ftBoolean"), compared exactly, letter case
// included; none for any other text ("нет" and the empty text among them).
std::optional<tables::FieldType> ColumnTypeOf(std::string_view word);

}  // namespace epd::config
