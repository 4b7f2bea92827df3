#pragma once

// CONTRACT: building and creating an output table from the field mapping.

#include <string>

#include "config/settings_file.h"
#include "tables/field_defs.h"

namespace epd::exporter {

// Output kinds: 1 the header fields, 2 the line fields, 3 all fields (single-file mode).
enum OutputKind { kHeaderOutput = 1, kLineOutput = 2, kCombinedOutput = 3 };

// Appends at most one definition for the field at catalogue position `position`, by the one
// rule of config::ReadMapping. Never raises: every problem only leaves the field out, and so
// does a name equal, ignoring case, to one already in the list.
void AddOutputField(const config::SettingsFile& settings, int position, tables::FieldDefs& defs);

// What the creation of an output table came to.
struct OutputCreation {
  bool created = false;
  // When not created: what the system or the engine said, or the level in the settings that no
  // writer takes (code page 1251).
  std::string cause;
};

// Creates the output table at `path` (a full path ending in ".dbf") with the mapped columns of
// the kind, in catalogue order: through the table engine when EPD/lavel is 7, else through the
// DBF writer with Settings/level as its file version. Never raises. `settings` is only read from.
OutputCreation MakeOutputTable(const std::string& path, int kind, const config::SettingsFile& settings);

// The same, answering only whether the file was created (false for a kind other than 1, 2, 3).
bool CreateOutputTable(const std::string& path, int kind, const config::SettingsFile& settings);
// The same, reading export_epd.ini in `data_directory`.
bool CreateOutputTable(const std::string& path, int kind, const std::string& data_directory);

}  // namespace epd::exporter
