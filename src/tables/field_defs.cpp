#include "tables/field_defs.h"

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/text.h"

namespace epd::tables {

void FieldDefs::Add(std::string name, FieldType type, int size, bool required, int precision) {
  if (IndexOf(name) >= 0) throw Error(std::string("Повторяющееся имя поля: "_cp) + name);
  defs_.push_back(FieldDef{std::move(name), type, size, precision, required});
}

int FieldDefs::IndexOf(std::string_view name) const {
  for (std::size_t i = 0; i < defs_.size(); ++i)
    if (platform::EqualsIgnoreCase(defs_[i].name, name)) return static_cast<int>(i);
  return -1;
}

}  // namespace epd::tables
