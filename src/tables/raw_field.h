#pragma once

#include "tables/dbf_layout.h"

// One column of the current row of a table or query as the engine stores it: the bytes a value
// can be copied from without making its text.
namespace epd::tables {

struct RawField {
  const TableLayout* layout = nullptr;
  const FieldInfo* field = nullptr;
  const char* record = nullptr;
};

}  // namespace epd::tables
