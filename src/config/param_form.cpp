#include "config/param_form.h"

#include "config/host_folders.h"
#include "config/mapping_editor.h"
#include "config/settings_file.h"
#include "config/settings_schema.h"
#include "platform/error.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "suppliers/supplier_tables.h"

namespace epd::config {

std::string_view TFormParam::Caption() { return "Настройка параметров "_cp; }

void TFormParam::FormShow() {
  namespace read = reads::parameters;
  const SettingsFile settings = SettingsFile::InDataDirectory(places_.data_directory);
  view_.SetChecked(ParamCheck::chbChange, Read(settings, read::kChangeCodes));
  view_.SetChecked(ParamCheck::CB_EnableExport, Read(settings, read::kExportSwitch));
  view_.SetText(ParamText::Edit_Dir, Read(settings, read::kExportDir));
  view_.SetText(ParamText::edDos, Read(settings, read::kDosCoding) ? kDosCodePage : kWindowsCodePage);
  view_.SetText(ParamText::edLevel, Read(settings, read::kLevel));
  view_.SetChecked(ParamCheck::chbSnglFile, Read(settings, read::kSingleFile));
  view_.SetChecked(ParamCheck::chbManyFiles, Read(settings, read::kManyFiles));
  view_.SetChecked(ParamCheck::chbSeller, Read(settings, read::kSeller));
  view_.SetChecked(ParamCheck::chbAutoExport, Read(settings, read::kAutoExport));
  view_.SetText(ParamText::edCharLS, Read(settings, read::kCharLength));
}

void TFormParam::B_SaveClick() {
  if (std::optional<std::string> why =
          WhyNotAnExportDirectory(view_.Text(ParamText::Edit_Dir), places_.base_directory)) {
    platform::ShowError(*why);
    return;
  }
  try {
    SettingsFile settings = SettingsFile::InDataDirectory(places_.data_directory);
    const bool export_enabled = view_.Checked(ParamCheck::CB_EnableExport);
    WriteFlag(settings, keys::kExportSwitch, export_enabled);
    WriteFlag(settings, keys::kChangeCodes, view_.Checked(ParamCheck::chbChange));
    Write(settings, keys::kExportDir, view_.Text(ParamText::Edit_Dir));
    WriteFlag(settings, keys::kDosCoding, view_.Text(ParamText::edDos) == kDosCodePage);
    Write(settings, keys::kLevel, view_.Text(ParamText::edLevel));
    WriteFlag(settings, keys::kSingleFile, view_.Checked(ParamCheck::chbSnglFile));
    WriteFlag(settings, keys::kAutoExport, view_.Checked(ParamCheck::chbAutoExport));
    WriteFlag(settings, keys::kManyFiles, view_.Checked(ParamCheck::chbManyFiles));
    WriteFlag(settings, keys::kSeller, view_.Checked(ParamCheck::chbSeller));
    Write(settings, keys::kCharLength, view_.Text(ParamText::edCharLS));
    WriteExportSwitchCopy(places_.data_directory, export_enabled);
  } catch (const Error& e) {
    platform::ShowError(e.what());
    return;
  }
  view_.Close();
}

void TFormParam::B_CancelClick() { view_.Close(); }

void TFormParam::B_BrowseClick() {
  std::optional<std::string> chosen = view_.AskSaveFileName("Directory");
  if (!chosen) return;
  view_.SetText(ParamText::Edit_Dir, FolderOfFileName(*chosen));
}

void TFormParam::bChangeClick() { view_.ShowSupplierList(suppliers::kSupplierListFile); }

bool TFormParam::FormKeyDown(int key) {
  if (key != kVkEscape) return false;
  view_.Close();
  return true;
}

std::string FolderOfFileName(std::string_view file_name) {
  std::size_t at = file_name.find_last_of("\\/:");
  if (at == std::string_view::npos) return std::string();
  bool separator = file_name[at] != ':';
  // The separator goes, unless it closes a drive ("C:\") or belongs to a run of separators.
  if (separator && at > 0 && file_name[at - 1] != ':' && file_name[at - 1] != '\\' && file_name[at - 1] != '/')
    return std::string(file_name.substr(0, at));
  return std::string(file_name.substr(0, at + 1));
}

}  // namespace epd::config
