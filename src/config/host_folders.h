#pragma once

#include <optional>
#include <string>
#include <string_view>

// The host program's own invoice tables, which the export reads and must never write into.
// They lie in base directory + "ORDERS\EPD\": cat_epd.dbf and body_epd.dbf (every invoice),
// epdct.dbf and epdbd.dbf (the newly received ones). A slip in the parameters dialog that sets
// the export directory to that folder would make the export append to, and on "Yes" delete
// from, the host's tables; so both the settings and every output file are checked against them,
// by the files' identity rather than by their names (links and other spellings included).
namespace epd::config {

inline constexpr std::string_view kHostTableFolder = "ORDERS\\EPD\\";  // below the base directory
inline constexpr std::string_view kHostTables[] = {"cat_epd.dbf", "body_epd.dbf", "epdct.dbf", "epdbd.dbf"};

// Why `directory` cannot be the export directory (a code page 1251 text for the user): it is
// the host's folder of invoice tables. Nothing when it is not, or when either does not exist.
// `base_directory` ends in a backslash.
std::optional<std::string> WhyNotAnExportDirectory(const std::string& directory, const std::string& base_directory);

// Why the export must not write the output file at `path`: the file is one of the host's
// invoice tables, or it would lie in their folder. Nothing otherwise.
std::optional<std::string> WhyNotAnOutputFile(const std::string& path, const std::string& base_directory);

}  // namespace epd::config
