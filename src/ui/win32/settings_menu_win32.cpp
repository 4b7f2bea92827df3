#include <windows.h>

#include "config/param_sets.h"
#include "config/settings_menu.h"
#include "platform/text.h"
#include "ui/win32/form_window.h"
#include "ui/win32/mapping_editor_window.h"
#include "ui/win32/param_window.h"

namespace epd::ui {
namespace {

enum : int { kCatalogId = 100, kContentsId, kSettingsId };

// The window of TForm_ParamSets: white, two groups with maroon bold captions, three buttons.
class SettingsMenuWindow : public FormWindow, public config::TForm_ParamSetsView {
 public:
  SettingsMenuWindow(HWND owner, config::SettingsPlaces places)
      : FormWindow(owner), places_(std::move(places)), form_(*this) {
    CreateForm("TForm_ParamSets", config::TForm_ParamSets::Caption(), {228, 159, POINT{406, 280}}, true);
    HWND w = hwnd();
    AddGroupBox(w, "Настройка структуры"_cp, RECT{0, 1, 225, 98}, "GroupBox1", kMaroon, true);
    AddGlyphButton(w, "Каталог экспорта"_cp, RECT{8, 21, 8 + 209, 21 + 25}, kCatalogId, "btn_Catalog",
                   Glyph::kHeaderTable);
    AddGlyphButton(w, "Тело экспорта"_cp, RECT{8, 62, 8 + 209, 62 + 25}, kContentsId, "btn_Contents",
                   Glyph::kLineTable);
    AddGroupBox(w, "Основные настройки"_cp, RECT{0, 100, 225, 157}, "GroupBox2", kMaroon, true);
    AddGlyphButton(w, "Настройка параметров"_cp, RECT{10, 122, 10 + 209, 122 + 25}, kSettingsId, "btn_Settings",
                   Glyph::kSettings);
  }

  void ShowHeaderEditor() override {
    MappingEditorWindow editor(hwnd(), config::FieldTable::kHeader, places_.data_directory);
    editor.Run();
  }
  void ShowBodyEditor() override {
    MappingEditorWindow editor(hwnd(), config::FieldTable::kLine, places_.data_directory);
    editor.Run();
  }
  void ShowParameters() override {
    ParamWindow parameters(hwnd(), places_);
    parameters.Run();
  }
  void Close() override { FormWindow::Close(); }

 private:
  void OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return;
    switch (id) {
      case kCatalogId: form_.btn_CatalogClick(); break;
      case kContentsId: form_.btn_ContentsClick(); break;
      case kSettingsId: form_.btn_SettingsClick(); break;
      default: break;
    }
  }
  bool OnKeyPreview(int key) override { return form_.FormKeyDown(key); }

  const config::SettingsPlaces places_;
  config::TForm_ParamSets form_;
};

}  // namespace
}  // namespace epd::ui

namespace epd::config {

// ShowSets: a fresh menu, modal to the host's active window, gone when the call returns.
void ShowSettingsMenu(const SettingsPlaces& places) {
  ui::WindowClasses classes;
  ui::SettingsMenuWindow menu(::GetActiveWindow(), places);
  menu.ShowModal();
}

}  // namespace epd::config
