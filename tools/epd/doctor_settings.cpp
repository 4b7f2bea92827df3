// epd doctor: the settings file and the export directory.
#include <exception>
#include <filesystem>

#include "cli_support.h"
#include "config/host_folders.h"
#include "config/settings_schema.h"
#include "doctor.h"
#include "platform/files.h"

namespace epd::tool::doctor {
namespace {

constexpr std::string_view kSettings = "Settings";
constexpr std::string_view kExportDirectory = "Export directory";
constexpr const char* kChooseFolder =
    "choose it in «Настройка параметров», «директория для экспорта накладных» (or: epd settings --base DIR set "
    "EPD Export_Dir FOLDER)";
constexpr const char* kChooseAnother =
    "choose an existing one in «Настройка параметров», «директория для экспорта накладных» (or: epd settings --base "
    "DIR set EPD Export_Dir FOLDER)";
constexpr const char* kSaveAsAnsi =
    "Save the file in code page 1251: in Notepad, «Сохранить как» with the encoding «ANSI».";

std::string ReadWholeFile(const std::string& path) {
  auto file = platform::OpenFile(path, platform::FileMode::kRead);
  std::string bytes(static_cast<std::size_t>(file->Size()), '\0');
  bytes.resize(file->ReadAt(0, bytes.data(), bytes.size()));
  return bytes;
}

// True when the bytes are valid UTF-8 with at least one character beyond ASCII: Russian text
// in code page 1251 practically never is (its small letters would be lead bytes of three-byte
// sequences followed by other letters, not by continuation bytes).
bool LooksLikeUtf8(std::string_view bytes) {
  bool beyond_ascii = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    beyond_ascii = beyond_ascii || length > 1;
    i += length;
  }
  return beyond_ascii;
}

void CheckAutomaticExport(const Setup& setup, Findings& findings) {
  if (!setup.options.bAutoExportEPD) {
    findings.Note(kSettings,
                  "automatic export is off («Автоматический экспорт накладных», EPD/bAutoExportEPD): the host "
                  "exports invoices one by one only");
    return;
  }
  for (const char* table : {"epdct.dbf", "epdbd.dbf"}) {
    const std::string path = setup.HostTable(table);
    if (!platform::FileExists(path))
      findings.Warning(kSettings,
                       "automatic export is on, but the host's table of new invoices " + Shown(path) +
                           " does not exist: the automatic pass does nothing",
                       "The host program writes it when invoices arrive; until then export the invoices one by one.");
  }
}

// Where the user wrote the export directory relative to some current folder.
bool IsAbsolute(const std::string& program_path) {
  return std::filesystem::u8path(DisplayPath(program_path)).is_absolute();
}

// The host's folders other than ORDERS\EPD: nothing breaks there, but the exports mix with files
// of the host program and of this library.
void CheckNotAmongTheHostsFiles(const Setup& setup, const std::string& directory, Findings& findings) {
  const std::string base = setup.places.base_directory;
  for (const char* folder : {"", "DATA", "ORDERS", "Price"}) {
    std::string host = base + folder;
    if (host.size() > 1 && host.back() == '\\') host.pop_back();
    if (!platform::SameFile(directory.substr(0, directory.size() - 1), host)) continue;
    const std::string which = *folder == 0 ? std::string("base folder") : std::string("folder ") + folder;
    findings.Warning(kExportDirectory,
                     Shown(directory) + " is the host's own " + which +
                         ": the exported files mix with the host program's and this library's files",
                     std::string("Make a folder for the exports alone and ") + kChooseFolder + ".");
  }
}

}  // namespace

void CheckSettings(const Setup& setup, Findings& findings) {
  const std::string& data = setup.places.data_directory;
  const std::string& path = setup.settings.path();
  if (!platform::DirectoryExists(data)) {
    findings.Problem(kSettings,
                     "the host has no DATA folder (" + Shown(data) +
                         "): the settings, the supplier list and the code table live there",
                     "Check that --base names the host's base folder, the one holding ORDERS and DATA.");
    return;
  }
  if (!platform::FileExists(path)) {
    findings.Problem(kSettings, Shown(path) + " does not exist: export is off and no field is exported",
                     "Set the export up in the settings windows of the host program (menu «Экспорт накладных»), or "
                     "copy sample\\export_epd.ini of the package into DATA and adjust it.");
    return;
  }
  std::string bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const std::exception& e) {
    findings.Problem(kSettings,
                     Shown(path) + " cannot be read (" + ToUtf8(e.what()) +
                         "): the export takes every option as its default, so it is off",
                     "Give the host program's user the right to read and write it.");
    return;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    findings.Problem(kSettings,
                     Shown(path) +
                         " was saved in UTF-8 with a byte-order mark: the first section ([EPD]) is not found, so "
                         "its options read as defaults",
                     kSaveAsAnsi);
  } else if (LooksLikeUtf8(bytes)) {
    findings.Warning(kSettings,
                     Shown(path) +
                         " holds Russian text in UTF-8: the library reads code page 1251, so type words such as "
                         "«нет» and Russian folder names are not what they seem",
                     kSaveAsAnsi);
  }
  if (!Read(setup.settings, config::reads::export_epd::kExportSwitch)) {
    findings.Problem(
        kSettings,
        "export is switched off (EPD/bExportEPD in " + Shown(path) + "): an export does nothing and says nothing",
        "Tick «Включить экспорт накладных» in «Настройка параметров» (or: epd settings --base DIR set "
        "EPD bExportEPD 1).");
  } else {
    findings.Ok(kSettings, Shown(path) + ": export switched on");
  }
  CheckAutomaticExport(setup, findings);
}

void CheckExportDirectory(const Setup& setup, Findings& findings) {
  const std::string& raw = setup.raw_export_dir;
  const std::string& directory = setup.places.export_directory;
  if (raw.empty()) {
    findings.Problem(kExportDirectory,
                     "the export directory (EPD/Export_Dir) is not set: every export stops with «Не задана папка "
                     "экспорта накладных (EPD/Export_Dir). Укажите её в параметрах экспорта.»",
                     std::string("Make a folder for the exports and ") + kChooseFolder + ".");
    return;
  }
  if (!IsAbsolute(raw)) {
    findings.Problem(kExportDirectory,
                     "the export directory \"" + ToUtf8(raw) +
                         "\" is no full path: the files would go into whatever folder the host program happens to "
                         "be working in",
                     std::string("Give the full path, such as C:\\Обмен\\Накладные: ") + kChooseFolder + ".");
    return;
  }
  if (std::optional<std::string> why = config::WhyNotAnExportDirectory(directory, setup.places.base_directory)) {
    findings.Problem(kExportDirectory, "«" + ToUtf8(*why) + "»",
                     std::string("Make a folder for the exports alone and ") + kChooseFolder + ".");
    return;
  }
  if (!platform::DirectoryExists(directory)) {
    findings.Problem(kExportDirectory,
                     Shown(directory) +
                         " does not exist: every export stops with «Ошибка создания файлов экспорта "
                         "накладной»",
                     std::string("Create the folder, or ") + kChooseAnother + ".");
    return;
  }
  if (std::optional<std::string> why = WhyNotWritable(directory)) {
    findings.Problem(kExportDirectory, Shown(directory) + " takes no new file: " + *why,
                     "Give the host program's user the right to create and change files in it.");
    return;
  }
  CheckNotAmongTheHostsFiles(setup, directory, findings);
  if (raw.find('"') != std::string::npos)
    findings.Warning(kExportDirectory,
                     Shown(directory) +
                         " has a double quote in its path: an invoice exported before cannot be replaced («Путь "
                         "файла экспорта … содержит кавычку»)",
                     std::string("Rename the folder, or ") + kChooseAnother + ".");
  findings.Ok(kExportDirectory, Shown(directory) + ": exists and takes new files");
}

}  // namespace epd::tool::doctor
