#include "tables/table_walk.h"

#include "platform/error.h"
#include "tables/table.h"

namespace epd::tables {

std::size_t ReadWholeTable(const std::string& path) {
  auto table = Table::Open(path);
  std::size_t rows = 0;
  for (table->First(); !table->Eof(); table->Next()) {
    ++rows;
    for (int i = 0; i < table->FieldCount(); ++i) {
      const std::string name = table->FieldName(i);
      table->AsString(name);
      table->IsNull(name);
      try {
        table->AsInteger(name);
      } catch (const Error&) {
      }
      try {
        table->AsBoolean(name);
      } catch (const Error&) {
      }
    }
  }
  return rows;
}

}  // namespace epd::tables
