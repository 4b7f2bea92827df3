#pragma once

#include <map>
#include <string>

#include "config/param_form.h"
#include "config/settings_menu.h"
#include "ui/win32/form_window.h"

namespace epd::ui {

// The window of TFormParam.
class ParamWindow : public FormWindow, public config::TFormParamView {
 public:
  // The settings file lies in the data directory; the supplier list dialog it opens also reads
  // the host's supplier directory below the base directory.
  ParamWindow(HWND owner, config::SettingsPlaces places);

  // Loads the options and shows the window modally.
  void Run();

  bool Checked(config::ParamCheck box) const override;
  void SetChecked(config::ParamCheck box, bool checked) override;
  std::string Text(config::ParamText box) const override;
  void SetText(config::ParamText box, std::string_view text) override;
  std::optional<std::string> AskSaveFileName(std::string_view file_name) override;
  void ShowSupplierList(std::string_view list_file_name) override;
  void Close() override { FormWindow::Close(); }

 private:
  void OnCommand(int id, int code, HWND control) override;
  bool OnKeyPreview(int key) override;

  config::SettingsPlaces places_;
  config::TFormParam form_;
  std::map<config::ParamCheck, HWND> checks_;
  std::map<config::ParamText, HWND> texts_;
};

}  // namespace epd::ui
