#pragma once

#include "suppliers/sel_form.h"
#include "ui/win32/form_window.h"

namespace epd::ui {

// The window of TSelForm: the read-only list `grSel` (one column "Поставщик"), the status bar
// `StatusBar1` whose one panel shows the search text, and `Panel1` with "Добавить" and "Удалить".
class SelListWindow : public FormWindow, public suppliers::TSelFormView {
 public:
  SelListWindow(HWND owner, suppliers::SelPlaces places);

  // Runs the showing steps and, unless they closed the dialog, shows it modally.
  void Run();

  void SetCaption(std::string_view caption) override;
  void SetDeleteVisible(bool visible) override;
  void SetSearchText(std::string_view text) override;
  void ShowRows(const std::vector<std::string>& sellers) override;
  int CurrentRow() const override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void FocusGrid() override;
  void Close() override { FormWindow::Close(); }

 private:
  void OnCommand(int id, int code, HWND control) override;
  bool OnKeyPreview(int key) override;
  void OnClose() override;

  suppliers::TSelForm form_;
  HWND grid_ = nullptr;
  HWND status_ = nullptr;
  HWND delete_ = nullptr;
};

}  // namespace epd::ui
