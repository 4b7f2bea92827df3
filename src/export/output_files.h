#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where an invoice's output files lie and what they are called.
namespace epd::exporter {

struct OutputNames {
  std::string header;  // file name of the header output (the combined one in single-file mode)
  std::string line;    // file name of the line output; equal to `header` in single-file mode
};

// File names from the modes:
//   singlefile, manyfiles: the last `charlength` characters of the message number + ".dbf"
//   singlefile only:       "Nakl.dbf"
//   manyfiles only:        "h<N>.dbf" and "b<N>.dbf"
//   neither:               "cat_epd.dbf" and "body_epd.dbf"
OutputNames OutputFileNames(std::int32_t id_msg, bool singlefile, bool manyfiles, std::uint8_t charlength);

// True when the supplier's id, as text, can name a folder directly below the export directory:
// not empty, not "." or "..", no path separator, drive colon or character Windows refuses in
// file names, no control character, no device name (CON, NUL, COM1, ...), no dot or blank at the
// end (which Windows would drop). Anything else could lead the files elsewhere.
bool IsPlainFolderName(std::string_view name);

// True when a column name from the settings can stand in a statement as one name: letters
// (Latin or of code page 1251), digits and "_", not starting with a digit. Anything else could
// change what the statement does.
bool IsPlainColumnName(std::string_view name);

}  // namespace epd::exporter
