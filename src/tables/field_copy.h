#pragma once

#include <optional>

#include "platform/regional.h"
#include "tables/dbf_layout.h"

// The copy of one field into another as Table::SetFromAt makes it, without the text in between
// where the text would store the very same bytes.
namespace epd::tables {

struct RawField;

// The regional format, asked of the platform on first use only.
class LazyRegionalFormat {
 public:
  const platform::RegionalFormat& get() {
    if (!format_) format_ = platform::CurrentRegionalFormat();
    return *format_;
  }

 private:
  std::optional<platform::RegionalFormat> format_;
};

// Stores into the output field what assigning it the text of the input field would store (the
// text RowReader::AsString gives, converted from code page 1251 to 866 when `to_866`, assigned as
// Table::SetAsString assigns it), without making the text where that gives the very same bytes:
// character into character fields, numbers into numeric and character fields, dates into date
// and character fields. False, with the record untouched, when the caller has to go through the
// text.
bool CopyAsText(const RawField& in, const TableLayout& out_layout, const FieldInfo& out_field, char* out_record,
                LazyRegionalFormat& format, bool to_866);

}  // namespace epd::tables
