#pragma once

#include <string_view>

// The settings menu TForm_ParamSets that ShowSets opens: three buttons, each showing one modal
// dialog while the menu stays open. TForm_ParamSetsView is the window.
namespace epd::config {

class TForm_ParamSetsView {
 public:
  virtual ~TForm_ParamSetsView() = default;

  // Each creates its dialog, shows it modally and destroys it when it closes.
  virtual void ShowHeaderEditor() = 0;
  virtual void ShowBodyEditor() = 0;
  virtual void ShowParameters() = 0;
  // Ends the modal showing.
  virtual void Close() = 0;
};

class TForm_ParamSets {
 public:
  explicit TForm_ParamSets(TForm_ParamSetsView& view) : view_(view) {}

  static std::string_view Caption();

  // "Каталог экспорта": the header mapping editor.
  void btn_CatalogClick() { view_.ShowHeaderEditor(); }
  // "Тело экспорта": the line mapping editor.
  void btn_ContentsClick() { view_.ShowBodyEditor(); }
  // "Настройка параметров": the parameters dialog.
  void btn_SettingsClick() { view_.ShowParameters(); }
  // Esc closes the menu. True when the key was taken.
  bool FormKeyDown(int key);

 private:
  TForm_ParamSetsView& view_;
};

}  // namespace epd::config
