#include "config/param_form.h"

#include "config/mapping_editor.h"
#include "config/settings_file.h"
#include "platform/error.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "suppliers/supplier_tables.h"

namespace epd::config {

std::string_view TFormParam::Caption() { return "Настройка параметров "_cp; }

void TFormParam::FormShow() {
  SettingsFile settings = SettingsFile::InDataDirectory(data_directory_);
  view_.SetChecked(ParamCheck::chbChange, settings.ReadBool("Settings", "bchangecncode", false));
  view_.SetChecked(ParamCheck::CB_EnableExport, settings.ReadBool("EPD", "bExportEPD", false));
  view_.SetText(ParamText::Edit_Dir, settings.ReadString("EPD", "Export_Dir", ""));
  // This dialog shows DOS coding when the key is missing, although the export side then
  // converts nothing: saving the dialog unchanged switches the coding on.
  view_.SetText(ParamText::edDos, settings.ReadBool("EPD", "bDOScoding", true) ? kDosCodePage : kWindowsCodePage);
  view_.SetText(ParamText::edLevel, settings.ReadString("EPD", "lavel", "7"));
  view_.SetChecked(ParamCheck::chbSnglFile, settings.ReadBool("EPD", "singlefile", false));
  view_.SetChecked(ParamCheck::chbManyFiles, settings.ReadBool("EPD", "manyfiles", false));
  view_.SetChecked(ParamCheck::chbSeller, settings.ReadBool("EPD", "seller", false));
  view_.SetChecked(ParamCheck::chbAutoExport, settings.ReadBool("EPD", "bAutoExportEPD", false));
  view_.SetText(ParamText::edCharLS, settings.ReadString("EPD", "charlength", ""));
}

void TFormParam::B_SaveClick() {
  try {
    SettingsFile settings = SettingsFile::InDataDirectory(data_directory_);
    const bool export_enabled = view_.Checked(ParamCheck::CB_EnableExport);
    settings.WriteBool("EPD", "bExportEPD", export_enabled);
    settings.WriteBool("Settings", "bchangecncode", view_.Checked(ParamCheck::chbChange));
    settings.WriteString("EPD", "Export_Dir", view_.Text(ParamText::Edit_Dir));
    settings.WriteBool("EPD", "bDOScoding", view_.Text(ParamText::edDos) == kDosCodePage);
    settings.WriteString("EPD", "lavel", view_.Text(ParamText::edLevel));
    settings.WriteBool("EPD", "singlefile", view_.Checked(ParamCheck::chbSnglFile));
    settings.WriteBool("EPD", "bAutoExportEPD", view_.Checked(ParamCheck::chbAutoExport));
    settings.WriteBool("EPD", "manyfiles", view_.Checked(ParamCheck::chbManyFiles));
    settings.WriteBool("EPD", "seller", view_.Checked(ParamCheck::chbSeller));
    settings.WriteString("EPD", "charlength", view_.Text(ParamText::edCharLS));
    WriteExportSwitchCopy(data_directory_, export_enabled);
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
