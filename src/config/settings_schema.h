#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/field_catalogue.h"
#include "config/settings_file.h"

// What export_epd.ini holds: every section and key with the kind of its value, and every reader
// of it with the default it falls back on when the file, the section or the key is absent (or
// the value has not the reader's form). Nothing seeds the file, so each reader's default is part
// of what the program does; where two readers of one key fall back on different values, each
// keeps its own, and the reading says why. This is the one place a default is written: readers
// go through Read below with one of the readings of this file.
namespace epd::config {

enum class ValueKind { kBoolean, kInteger, kString };

// A key. The field keys (name, length, type) have no section of their own: they stand in the
// section of every catalogue field, named by the field's key.
struct SettingKey {
  std::string_view section;
  std::string_view name;
  ValueKind kind;            // what the key holds; `lavel` and `charlength` are stored as typed
  std::string_view meaning;  // one line for epd settings show
};

// One reader's reading of a key: the form it reads the value in, and its default.
template <class T>
struct Reading {
  const SettingKey& key;
  T fallback;
  std::string_view why = {};  // where the readers of the key differ: why this one falls back so
};
using FlagReading = Reading<bool>;
using NumberReading = Reading<std::int32_t>;
using TextReading = Reading<std::string_view>;

namespace keys {

// Section EPD: the general options.
inline constexpr SettingKey kExportSwitch{"EPD", "bExportEPD", ValueKind::kBoolean,
                                          "export switched on (1) or off (0)"};
inline constexpr SettingKey kExportDir{"EPD", "Export_Dir", ValueKind::kString, "export directory"};
inline constexpr SettingKey kDosCoding{"EPD", "bDOScoding", ValueKind::kBoolean,
                                       "texts in DOS code page 866 (1) or Windows 1251 (0)"};
inline constexpr SettingKey kLevel{"EPD", "lavel", ValueKind::kInteger,
                                   "DBF level of new output files: 7 by the table engine, else the library's writer"};
inline constexpr SettingKey kSingleFile{"EPD", "singlefile", ValueKind::kBoolean, "header and lines in one file"};
inline constexpr SettingKey kManyFiles{"EPD", "manyfiles", ValueKind::kBoolean, "files of their own for every invoice"};
inline constexpr SettingKey kCharLength{"EPD", "charlength", ValueKind::kInteger,
                                        "digits of the invoice number in single-file names"};
inline constexpr SettingKey kSeller{"EPD", "seller", ValueKind::kBoolean, "a subfolder per supplier id"};
inline constexpr SettingKey kAutoExport{"EPD", "bAutoExportEPD", ValueKind::kBoolean,
                                        "automatic export of new invoices"};

// Section Settings.
inline constexpr SettingKey kChangeCodes{"Settings", "bchangecncode", ValueKind::kBoolean,
                                         "substitute codes for the listed suppliers"};
inline constexpr SettingKey kWriterVersion{"Settings", "level", ValueKind::kInteger,
                                           "file version of the library's own DBF writer (3, 4 or 5)"};

// The keys of a field's section.
inline constexpr SettingKey kName{"", "name", ValueKind::kString, "output column name"};
inline constexpr SettingKey kLength{"", "length", ValueKind::kString, "width of a character column"};
inline constexpr SettingKey kType{"", "type", ValueKind::kString, "type word; empty or none: not exported"};

}  // namespace keys

// The general keys in the order epd settings show lists them.
inline constexpr const SettingKey* kGeneralKeys[] = {&keys::kExportSwitch, &keys::kExportDir,    &keys::kDosCoding,
                                                     &keys::kLevel,        &keys::kSingleFile,   &keys::kManyFiles,
                                                     &keys::kCharLength,   &keys::kSeller,       &keys::kAutoExport,
                                                     &keys::kChangeCodes,  &keys::kWriterVersion};

namespace reads {

// InitializeEPD: the library state, read once per call.
namespace initialize {
inline constexpr TextReading kExportDir{keys::kExportDir, ""};
inline constexpr FlagReading kDosCoding{keys::kDosCoding, false,
                                        "the export converts texts only when the option says so"};
inline constexpr FlagReading kManyFiles{keys::kManyFiles, false};
inline constexpr FlagReading kSingleFile{keys::kSingleFile, false};
inline constexpr FlagReading kSeller{keys::kSeller, false};
inline constexpr FlagReading kAutoExport{keys::kAutoExport, false};
inline constexpr FlagReading kChangeCodes{keys::kChangeCodes, false};
inline constexpr NumberReading kCharLength{keys::kCharLength, 8,
                                           "missing, empty or no number: file names keep 8 digits; a number is held "
                                           "in its low 8 bits (300 gives 44)"};
}  // namespace initialize

// ExportEPD, at every call.
namespace export_epd {
inline constexpr FlagReading kExportSwitch{keys::kExportSwitch, false};
}

// The field sections as the export side reads them (the export's duplicate check, the record
// transfer and the output structure builder, through ReadMapping).
namespace mapping {
inline constexpr TextReading kName{keys::kName, ""};
inline constexpr TextReading kLength{keys::kLength, "", "an empty length means the field is not exported"};
inline constexpr TextReading kType{keys::kType, "", "an empty type means the field is not exported"};
inline constexpr NumberReading kStringWidth{keys::kLength, 10,
                                            "the width of a ftString column whose length is no number"};
}  // namespace mapping

// The output structure builder, at every table it creates.
namespace output {
inline constexpr NumberReading kLevel{keys::kLevel, 5, "a missing level takes the library's own DBF writer"};
inline constexpr NumberReading kWriterVersion{keys::kWriterVersion, 5};
}  // namespace output

// The parameters dialog, when shown. It shows texts as they are stored.
namespace parameters {
inline constexpr FlagReading kChangeCodes{keys::kChangeCodes, false};
inline constexpr FlagReading kExportSwitch{keys::kExportSwitch, false};
inline constexpr TextReading kExportDir{keys::kExportDir, ""};
inline constexpr FlagReading kDosCoding{keys::kDosCoding, true,
                                        "the dialog shows 866 for a missing key, so saving it unchanged switches "
                                        "the coding on"};
inline constexpr TextReading kLevel{keys::kLevel, "7",
                                    "the dialog shows the engine's level for a missing key, although the builder "
                                    "then takes the library's writer"};
inline constexpr FlagReading kSingleFile{keys::kSingleFile, false};
inline constexpr FlagReading kManyFiles{keys::kManyFiles, false};
inline constexpr FlagReading kSeller{keys::kSeller, false};
inline constexpr FlagReading kAutoExport{keys::kAutoExport, false};
inline constexpr TextReading kCharLength{keys::kCharLength, "", "the box shows the text as stored: none when missing"};
}  // namespace parameters

// The mapping editors, when shown: every row gets all three boxes filled.
namespace editors {
inline constexpr TextReading kName{keys::kName, ""};
inline constexpr TextReading kLength{keys::kLength, "0", "a row whose length was never set shows, and saves, 0"};
inline constexpr TextReading kType{keys::kType, kTypeNone, "a row never saved shows the field as not exported"};
}  // namespace editors

}  // namespace reads

// A general key through one reader's reading.
bool Read(const SettingsFile& settings, const FlagReading& reading);
std::int32_t Read(const SettingsFile& settings, const NumberReading& reading);
std::string Read(const SettingsFile& settings, const TextReading& reading);
// A field key in the field's section.
std::string Read(const SettingsFile& settings, std::string_view field, const TextReading& reading);
std::int32_t Read(const SettingsFile& settings, std::string_view field, const NumberReading& reading);

// Writes; they raise epd::Error("Unable to write to <path>") when refused.
void Write(SettingsFile& settings, const SettingKey& key, std::string_view text);
void WriteFlag(SettingsFile& settings, const SettingKey& key, bool value);
void Write(SettingsFile& settings, std::string_view field, const SettingKey& key, std::string_view text);

// What the export does with a general key that is absent, as the file would hold it ("0", "5",
// "" ...), for epd settings show; the dialog's own default when it differs goes in `dialog`.
struct KeyDefaults {
  std::string export_side;
  std::optional<std::string> dialog;  // none when the dialog falls back on the same or does not read it
};
// None for a key that is not one of kGeneralKeys.
std::optional<KeyDefaults> DefaultsOf(const SettingKey& key);

}  // namespace epd::config
