#pragma once

// CONTRACT: building and creating an output table from the field mapping.

#include <string>

#include "config/settings_file.h"
#include "tables/field_defs.h"

namespace epd::dbf {

// Output kinds: 1 the header fields, 2 the line fields, 3 all fields (single-file mode).
enum OutputKind { kHeaderOutput = 1, kLineOutput = 2, kCombinedOutput = 3 };

// Appends at most one definition for the field at catalogue position `position`, from its
// section of the settings file. Never raises: every problem only leaves the field out. A
// "ftString" column is as wide as `length` reads as an integer; 10 when it is no integer or not
// above 0.
void AddOutputField(const config::SettingsFile& settings, int position, tables::FieldDefs& defs);

// Creates the output table at `path` (a full path ending in ".dbf") with the mapped columns of
// the kind, in catalogue order: through the table engine when EPD/lavel is 7, else through the
// DBF writer with Settings/level as its file version. True when the file was created; false
// for a kind other than 1, 2 or 3. Never raises. `settings` is only read from.
bool CreateOutputTable(const std::string& path, int kind, const config::SettingsFile& settings);
// The same, reading export_epd.ini in the library's data directory.
bool CreateOutputTable(const std::string& path, int kind);

}  // namespace epd::dbf
