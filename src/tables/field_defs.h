#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Column definition lists: the ordered field definitions from which a table is created.
namespace epd::tables {

// The engine's field types. Only some are produced by the library itself (string, integer,
// float, date, boolean); the others appear in tables from elsewhere and in conversions.
enum class FieldType {
  kUnknown,
  kString,
  kFixedChar,
  kWideString,
  kSmallint,
  kInteger,
  kWord,
  kAutoInc,
  kBoolean,
  kFloat,
  kCurrency,
  kBCD,
  kDate,
  kTime,
  kDateTime,
  kMemo,
  kBlob,
};

struct FieldDef {
  std::string name;
  FieldType type = FieldType::kUnknown;
  int size = 0;
  int precision = 0;
  bool required = false;
};

class FieldDefs {
 public:
  // Appends a definition. A name equal, ignoring letter case, to one already in the list raises
  // epd::Error and adds nothing.
  void Add(std::string name, FieldType type, int size = 0, bool required = false, int precision = 0);
  void Clear() { defs_.clear(); }

  std::size_t size() const { return defs_.size(); }
  bool empty() const { return defs_.empty(); }
  const FieldDef& operator[](std::size_t i) const { return defs_[i]; }
  std::vector<FieldDef>::const_iterator begin() const { return defs_.begin(); }
  std::vector<FieldDef>::const_iterator end() const { return defs_.end(); }

  // Index of the definition with this name ignoring case, or -1.
  int IndexOf(std::string_view name) const;

 private:
  std::vector<FieldDef> defs_;
};

}  // namespace epd::tables
