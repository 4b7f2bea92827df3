#include "ui/win32/param_window.h"

#include <commdlg.h>

#include "platform/text.h"
#include "suppliers/sel_statements.h"
#include "ui/win32/sel_list_window.h"

namespace epd::ui {
namespace {

using config::ParamCheck;
using config::ParamText;

enum : int {
  kSaveId = 100,
  kCancelId,
  kBrowseId,
  kChangeId,
  kCheckId = 200,  // + the ParamCheck
  kTextId = 300,   // + the ParamText
};

}  // namespace

ParamWindow::ParamWindow(HWND owner, config::SettingsPlaces places)
    : FormWindow(owner), places_(std::move(places)), form_(places_, *this) {
  CreateForm("TFormParam", config::TFormParam::Caption(), {390, 457, POINT{423, 142}});
  HWND w = hwnd();
  auto check = [&](ParamCheck box, std::string_view caption, int x, int y, std::string_view name) {
    checks_[box] = AddCheckBox(w, caption, x, y, kCheckId + static_cast<int>(box), name);
  };

  // Positions inside the groups are added up: the groups are siblings of the controls.
  const POINT g1{8, 8};
  AddGroupBox(w, "Экспорт накладных"_cp, RECT{g1.x, g1.y, g1.x + 369, g1.y + 401}, "GroupBox1", kNavy, true);
  check(ParamCheck::CB_EnableExport, "Включить экспорт накладных"_cp, g1.x + 11, g1.y + 18, "CB_EnableExport");
  check(ParamCheck::chbAutoExport, "Автоматический экспорт накладных"_cp, g1.x + 11, g1.y + 42, "chbAutoExport");

  const POINT g3{g1.x + 8, g1.y + 64};
  AddGroupBox(w, "Файлы экспорта"_cp, RECT{g3.x, g3.y, g3.x + 353, g3.y + 169}, "GroupBox3", RGB(0, 0, 0), false);
  AddLabel(w, "директория для экспорта накладных:"_cp, g3.x + 12, g3.y + 15, "Label1");
  texts_[ParamText::Edit_Dir] =
      AddEdit(w, g3.x + 4, g3.y + 32, 297, kTextId + static_cast<int>(ParamText::Edit_Dir), "Edit_Dir");
  AddButton(w, "...", RECT{g3.x + 307, g3.y + 31, g3.x + 307 + 36, g3.y + 31 + 22}, kBrowseId, "B_Browse");
  check(ParamCheck::chbSnglFile, "Выгружать Заголовок и Тело в один файл"_cp, g3.x + 8, g3.y + 64, "chbSnglFile");
  check(ParamCheck::chbManyFiles, "Выгружать разные накладные в отдельные файлы"_cp, g3.x + 8, g3.y + 88,
        "chbManyFiles");
  check(ParamCheck::chbSeller, "Выгружать в папку с кодом поставщика"_cp, g3.x + 8, g3.y + 112, "chbSeller");
  texts_[ParamText::edCharLS] =
      AddEdit(w, g3.x + 8, g3.y + 138, 41, kTextId + static_cast<int>(ParamText::edCharLS), "edCharLS");
  AddLabel(w, "Количество символов в имени файла"_cp, g3.x + 56, g3.y + 143, "Label5");

  const POINT g2{g1.x + 8, g1.y + 264};
  AddGroupBox(w, "Параметры DBF файлов экспорта"_cp, RECT{g2.x, g2.y, g2.x + 353, g2.y + 49}, "GroupBox2", RGB(0, 0, 0),
              false);
  AddLabel(w, "Уровень DBF:"_cp, g2.x + 8, g2.y + 24, "Label2");
  texts_[ParamText::edLevel] = AddComboBox(w, g2.x + 104, g2.y + 19, 41, {"4", "5", "6", "7"},
                                           kTextId + static_cast<int>(ParamText::edLevel), "edLevel");
  AddLabel(w, "Кодировка DBF:"_cp, g2.x + 168, g2.y + 24, "Label3");
  texts_[ParamText::edDos] = AddComboBox(w, g2.x + 272, g2.y + 19, 73, {config::kDosCodePage, config::kWindowsCodePage},
                                         kTextId + static_cast<int>(ParamText::edDos), "edDos");

  const POINT g4{g1.x + 9, g1.y + 323};
  AddGroupBox(w, "Замена кодов поставщиков"_cp, RECT{g4.x, g4.y, g4.x + 352, g4.y + 70}, "GroupBox4", kNavy, true);
  check(ParamCheck::chbChange, "Включить замену кодов"_cp, g4.x + 13, g4.y + 18, "chbChange");
  AddButton(w, "Список поставщиков для замены кодов"_cp, RECT{g4.x + 8, g4.y + 43, g4.x + 8 + 329, g4.y + 43 + 16},
            kChangeId, "bChange");

  AddLabel(w, "Стандартный\r\nэкспорт dbf v.4.2"_cp, 9, 422, "Label4");
  AddButton(w, "Сохранить"_cp, RECT{130, 423, 130 + 123, 423 + 25}, kSaveId, "B_Save", true);
  AddButton(w, "Отмена"_cp, RECT{258, 423, 258 + 113, 423 + 25}, kCancelId, "B_Cancel", true);
}

void ParamWindow::Run() {
  Guarded([&] { form_.FormShow(); });
  ShowModal();
}

bool ParamWindow::Checked(ParamCheck box) const {
  return ::SendMessageW(checks_.at(box), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void ParamWindow::SetChecked(ParamCheck box, bool checked) {
  ::SendMessageW(checks_.at(box), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::string ParamWindow::Text(ParamText box) const { return WindowText(texts_.at(box)); }

void ParamWindow::SetText(ParamText box, std::string_view text) { SetWindowText1251(texts_.at(box), text); }

std::optional<std::string> ParamWindow::AskSaveFileName(std::string_view file_name) {
  std::wstring buffer = Wide(file_name);
  buffer.resize(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = hwnd();
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(buffer.size());
  dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!::GetSaveFileNameW(&dialog)) return std::nullopt;
  return Narrow(buffer.c_str());
}

void ParamWindow::ShowSupplierList(std::string_view list_file_name) {
  SelListWindow list(hwnd(), {places_.data_directory, places_.base_directory, std::string(list_file_name)});
  list.Run();
}

void ParamWindow::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED) return;
  switch (id) {
    case kSaveId: form_.B_SaveClick(); break;
    case kCancelId: form_.B_CancelClick(); break;
    case kBrowseId: form_.B_BrowseClick(); break;
    case kChangeId: form_.bChangeClick(); break;
    default: break;
  }
}

bool ParamWindow::OnKeyPreview(int key) { return form_.FormKeyDown(key); }

}  // namespace epd::ui
