#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/settings_menu.h"

// The parameters dialog TFormParam: the general options of export_epd.ini (sections EPD and
// Settings), the copy of the export switch in export.ini, the choice of the export folder and
// the way to the supplier list dialog. The decisions live here; TFormParamView is the window.
namespace epd::config {

enum class ParamCheck { CB_EnableExport, chbAutoExport, chbSnglFile, chbManyFiles, chbSeller, chbChange };
enum class ParamText { Edit_Dir, edCharLS, edLevel, edDos };

class TFormParamView {
 public:
  virtual ~TFormParamView() = default;

  virtual bool Checked(ParamCheck box) const = 0;
  virtual void SetChecked(ParamCheck box, bool checked) = 0;
  virtual std::string Text(ParamText box) const = 0;
  virtual void SetText(ParamText box, std::string_view text) = 0;

  // The platform's file-save dialog offering `file_name`; the full file name the user
  // confirmed, or nothing when the user cancelled.
  virtual std::optional<std::string> AskSaveFileName(std::string_view file_name) = 0;
  // Shows the supplier list dialog TSelForm with this ListFileName, modally.
  virtual void ShowSupplierList(std::string_view list_file_name) = 0;
  // Ends the modal showing.
  virtual void Close() = 0;
};

class TFormParam {
 public:
  // The base directory tells the host's own folders, which the export directory must not be.
  TFormParam(SettingsPlaces places, TFormParamView& view) : places_(std::move(places)), view_(view) {}

  static std::string_view Caption();

  // Loads the controls, each key with this dialog's own default.
  void FormShow();
  // "Сохранить": writes every control in a fixed order, then the copy in export.ini, then
  // closes. A refused write shows "Unable to write to <file>" and leaves the dialog open. An
  // export directory that is the host's folder of invoice tables is refused the same way,
  // before anything is written: the export would append to, and delete from, the host's tables.
  void B_SaveClick();
  // "Отмена".
  void B_CancelClick();
  // "...": the folder of the file the user confirms in the file-save dialog. A cancelled
  // choice keeps the previous text.
  void B_BrowseClick();
  // "Список поставщиков для замены кодов".
  void bChangeClick();
  // Esc closes without saving. True when the key was taken.
  bool FormKeyDown(int key);

 private:
  SettingsPlaces places_;
  TFormParamView& view_;
};

// The folder part of a file name as the folder choice takes it: everything before the last
// "\" (or "/" or ":"), without that separator, except that a drive's root keeps its backslash
// ("C:\Directory" gives "C:\"). A name without a separator gives the empty text.
std::string FolderOfFileName(std::string_view file_name);

// The texts edDos offers and the one that means DOS coding.
inline constexpr std::string_view kDosCodePage = "866";
inline constexpr std::string_view kWindowsCodePage = "1251";

}  // namespace epd::config
