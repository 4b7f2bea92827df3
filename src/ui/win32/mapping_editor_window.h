#pragma once

#include <memory>
#include <string>
#include <vector>

#include "config/mapping_editor.h"
#include "ui/win32/form_window.h"

namespace epd::ui {

// The window of THeaderForm and TBodyForm: a list area whose row panel moves with the scroll
// bar `scroll`, and a bottom bar with "Сохранить" and "Закрыть".
class MappingEditorWindow : public FormWindow, public config::MappingEditorView {
 public:
  MappingEditorWindow(HWND owner, config::FieldTable table, const std::string& data_directory);
  ~MappingEditorWindow() override;

  // Loads the rows and shows the window modally.
  void Run();

  std::string NameText(int row) const override;
  std::string LengthText(int row) const override;
  std::string TypeText(int row) const override;
  void SetRow(int row, std::string_view name, std::string_view length, std::string_view type) override;
  void SetLengthEnabled(int row, bool enabled) override;
  void Close() override { FormWindow::Close(); }

 private:
  struct RowControls {
    HWND name;
    HWND length;
    HWND type;
  };

  void OnCommand(int id, int code, HWND control) override;
  bool OnKeyPreview(int key) override;
  void OnScroll(HWND bar, int code) override;
  void OnMouseWheel(int delta) override;
  void ScrollTo(int position);

  config::FieldTable table_;
  std::unique_ptr<config::TMappingForm> form_;
  std::vector<RowControls> rows_;
  HWND scroll_ = nullptr;
  HWND row_panel_ = nullptr;
  int panel_left_ = 0;
  int scroll_max_ = 0;
  bool loading_ = false;
};

}  // namespace epd::ui
