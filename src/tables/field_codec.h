#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/regional.h"
#include "tables/cell.h"
#include "tables/dbf_layout.h"

// Turning the bytes of a field into a value (field_decode.cpp) and back (field_encode.cpp), for
// every field type the engine knows. Decoding never reads outside the field and reads a field it
// cannot make sense of as blank. The copy of a field into another without its text is in
// field_copy.h.
namespace epd::tables {

class MemoFile;

enum class FieldClass { kText, kInteger, kNumber, kDate, kTimestamp, kLogical, kMemo };

FieldClass ClassOf(const TableLayout& layout, const FieldInfo& field);

// The field's value; blank fields are null. `memo` may be null (memo fields then read empty).
Cell DecodeField(const TableLayout& layout, const FieldInfo& field, const char* record, MemoFile* memo);

// The value of an integer or number field without building a Cell; false when blank or when the
// field is of another class.
bool DecodeNumber(const TableLayout& layout, const FieldInfo& field, const char* record, double* value);

// The form nearly every file stores numbers in, read without the general decoding: blanks, an
// optional minus and up to 18 digits filling the rest of the field. False for any other bytes,
// which DecodeNumber then reads. Where it answers, DecodeNumber gives the same value.
inline bool DecodePlainInteger(const FieldInfo& field, const char* record, std::int64_t* value) {
  const char* p = record + field.offset;
  const char* const e = p + field.length;
  while (p < e && *p == ' ') ++p;
  const bool negative = p < e && *p == '-';
  p += negative ? 1 : 0;
  const char* const digits = p;
  std::int64_t v = 0;
  for (; p < e && static_cast<unsigned char>(*p - '0') < 10; ++p) {
    if (p - digits == 18) return false;  // more digits than an int64_t surely holds
    v = v * 10 + (*p - '0');
  }
  if (p != e || p == digits) return false;
  *value = negative ? -v : v;
  return true;
}

// The stored bytes of a character field without trailing blanks and NUL bytes.
std::string_view TrimmedBytes(const FieldInfo& field, const char* record);

// The text a user sees: numbers in the regional form, dates in the regional short form,
// logicals "True"/"False", null as the empty text.
std::string CellToText(const Cell& cell, const platform::RegionalFormat& format);

// Writes the blank form of the field.
void EncodeBlank(const TableLayout& layout, const FieldInfo& field, char* record);

// Stores a value. False, with the reason in `why` and the record untouched, when the field
// cannot take it.
bool EncodeCell(const TableLayout& layout, const FieldInfo& field, const Cell& cell,
                const platform::RegionalFormat& format, char* record, MemoFile* memo, std::string* why);

// Converts a user's text by the rules for the field's type (character: as it is; integer: a
// decimal number; number: a number with the regional decimal separator; date: the regional
// short form; logical: a case-insensitive prefix of "True" or "False", or "1"/"0"). The empty
// text is null. False, with the reason, for anything else.
bool UserTextToCell(const TableLayout& layout, const FieldInfo& field, std::string_view text,
                    const platform::RegionalFormat& format, Cell* cell, std::string* why);

// UserTextToCell followed by EncodeCell, the way a text assigned to a column is stored; false,
// with the reason and the record untouched, where either refuses. Texts into character fields
// go straight into the record.
bool EncodeUserText(const TableLayout& layout, const FieldInfo& field, std::string_view text,
                    const platform::RegionalFormat& format, char* record, MemoFile* memo, std::string* why);

}  // namespace epd::tables
