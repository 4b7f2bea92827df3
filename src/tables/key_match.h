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

// FieldMatchesKey for one field and key over many records: a number in a numeric field as it is
// stored nearly always, digits at the right, is compared right on its bytes.
class KeyMatcher {
 public:
  KeyMatcher(const TableLayout& layout, const FieldInfo& field, MemoFile* memo, const Value& key,
             const platform::RegionalFormat& format);
  bool Matches(const char* record) const;

 private:
  const TableLayout& layout_;
  const FieldInfo& field_;
  MemoFile* memo_;
  const Value& key_;
  const platform::RegionalFormat& format_;
  bool stored_digits_ = false;  // a number key and an N or F field
  double number_ = 0;
};

}  // namespace epd::tables
