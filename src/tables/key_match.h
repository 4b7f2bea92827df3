#pragma once

#include "platform/regional.h"
#include "tables/dbf_layout.h"
#include "tables/table.h"

// Whether a field equals a Locate key: exact, case-sensitive, the whole value (a character field
// without its trailing blanks); an integer or text key matches a field of another type after
// conversion to that type; an empty key matches a blank field.
namespace epd::tables {

class MemoFile;

bool FieldMatchesKey(const TableLayout& layout, const FieldInfo& field, const char* record, MemoFile* memo,
                     const Value& key, const platform::RegionalFormat& format);

}  // namespace epd::tables
