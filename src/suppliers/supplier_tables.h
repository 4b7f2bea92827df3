#pragma once

// CONTRACT: the supplier list (SelList.dbf) and the code table (AtachList.dbf) in a data
// directory, and the substitute codes that replace suppliers' product codes.

#include <cstdint>
#include <string>

namespace epd::suppliers {

inline constexpr const char* kSupplierListFile = "SelList.dbf";
inline constexpr const char* kCodeTableFile = "AtachList.dbf";

// The supplier tables of one data directory (which ends in a backslash). Holds nothing open:
// every call opens what it needs and closes it before it returns.
class SupplierTables {
 public:
  explicit SupplierTables(std::string data_directory) : data_directory_(std::move(data_directory)) {}

  const std::string& data_directory() const { return data_directory_; }

  // True when `enabled` and the supplier is on the list; makes sure the code table exists.
  bool IsSellerListed(std::int32_t idSeller, bool enabled) const;
  // True when data directory + fileName exists and holds a row with this idSeller.
  bool SellerInTable(std::int32_t idSeller, const std::string& fileName) const;
  // The substitute code of the pair, from the code table or newly made and stored there.
  // Raises epd::Error when the engine fails. A pair the table cannot give back as it is (a code
  // longer than CnCode's 13 characters or ending in blanks, or the number -2147483648) is not
  // looked up or stored: its number comes from the code text alone.
  std::int32_t GetTempCode(std::int32_t idSeller, const std::string& code) const;
  // Create the tables when missing. CreateSelList answers false when it cannot; CreateAtachList
  // raises on failure.
  bool CreateSelList(const std::string& fileName) const;
  bool CreateAtachList() const;

 private:
  std::string PathOf(const std::string& file_name) const { return data_directory_ + file_name; }

  std::string data_directory_;
};

// The substitute code a code text gets: |CRC-32| read as a signed number.
std::int32_t SubstituteCodeOf(const std::string& code);

// The statement that stores a new substitute code, with the parameters :idSeller, :idTemp and
// :CnCode, for the code table in `data_directory` (which ends in a backslash).
std::string CodeInsertStatement(const std::string& data_directory);

}  // namespace epd::suppliers
