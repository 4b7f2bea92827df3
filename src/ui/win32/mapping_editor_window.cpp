#include "ui/win32/mapping_editor_window.h"

#include <algorithm>

#include "platform/text.h"

namespace epd::ui {
namespace {

// The two editors are one design with different measures.
struct EditorLayout {
  int client_width, client_height;
  std::optional<POINT> position;
  int save_left, close_left;
  int panel_left, panel_width, panel_height;
  int scroll_max;
  int name_title, length_title, type_title;
  int caption_left, name_left, length_left, type_left;
};

constexpr EditorLayout kHeaderLayout{641, 541, POINT{257, 126}, 400, 504, 0, 617, 905, 450, 273, 393, 505, 8, 241,
                                     369, 473};
constexpr EditorLayout kBodyLayout{630, 600, std::nullopt, 472, 552, -3,  617, 961,
                                   370, 304, 416,          528, 6,   256, 384, 488};

constexpr int kBarHeight = 41;
constexpr int kScrollWidth = 16;
constexpr int kSmallStep = 50;
constexpr int kLargeStep = 100;
constexpr int kFirstRowTop = 32;
constexpr int kRowPitch = 24;

enum : int { kSaveId = 100, kCloseId = 101, kScrollId = 102, kNameId = 1000, kLengthId = 2000, kTypeId = 3000 };

const EditorLayout& LayoutOf(config::FieldTable table) {
  return table == config::FieldTable::kHeader ? kHeaderLayout : kBodyLayout;
}

}  // namespace

MappingEditorWindow::MappingEditorWindow(HWND owner, config::FieldTable table, const std::string& data_directory)
    : FormWindow(owner), table_(table) {
  if (table == config::FieldTable::kHeader) {
    form_ = std::make_unique<config::THeaderForm>(data_directory, *this);
  } else {
    form_ = std::make_unique<config::TBodyForm>(data_directory, *this);
  }
  const EditorLayout& l = LayoutOf(table);
  CreateForm(table == config::FieldTable::kHeader ? "THeaderForm" : "TBodyForm", form_->Caption(),
             {l.client_width, l.client_height, l.position});

  const int list_height = l.client_height - kBarHeight;
  HWND list = AddPanel(hwnd(), RECT{0, 0, l.client_width, list_height}, "ListArea");
  row_panel_ = AddPanel(list, RECT{l.panel_left, 0, l.panel_left + l.panel_width, l.panel_height}, "RowPanel");
  panel_left_ = l.panel_left;
  scroll_max_ = l.scroll_max;
  scroll_ = AddControl(list, L"SCROLLBAR", "", SBS_VERT, 0,
                       RECT{l.client_width - kScrollWidth, 0, l.client_width, list_height}, kScrollId, "scroll");
  SCROLLINFO info{sizeof(info), SIF_RANGE | SIF_PAGE | SIF_POS, 0, l.scroll_max, 0, 0, 0};
  ::SetScrollInfo(scroll_, SB_CTL, &info, TRUE);

  AddLabel(row_panel_, "Имя"_cp, l.name_title, 8, "LabelName");
  AddLabel(row_panel_, "Длина"_cp, l.length_title, 8, "LabelLength");
  AddLabel(row_panel_, "Тип"_cp, l.type_title, 8, "LabelType");

  // Controls are made from the top row down, so that Tab follows the screen.
  rows_.resize(form_->RowCount());
  std::vector<int> by_screen(form_->RowCount());
  for (int row = 0; row < form_->RowCount(); ++row) by_screen[form_->Rows()[row]->editor_row - 1] = row;
  for (int row : by_screen) {
    const config::CatalogueField& field = *form_->Rows()[row];
    const int top = kFirstRowTop + (field.editor_row - 1) * kRowPitch;
    AddLabel(row_panel_, field.caption, l.caption_left, top + 4, std::string(field.control_stem) + "Label", true,
             l.name_left - l.caption_left - 2);
    RowControls& c = rows_[row];
    c.name = AddEdit(row_panel_, l.name_left, top, 121, kNameId + row, form_->NameControl(row));
    c.length = AddEdit(row_panel_, l.length_left, top, 97, kLengthId + row, form_->LengthControl(row));
    std::vector<std::string_view> types(config::OfferedTypes(field.types).begin(),
                                        config::OfferedTypes(field.types).end());
    c.type = AddComboBox(row_panel_, l.type_left, top, 121, types, kTypeId + row, form_->TypeControl(row));
    ::SetWindowTextW(c.length, L"0");
    ::EnableWindow(c.length, FALSE);
    SetWindowText1251(c.type, config::kTypeNone);
  }

  const int bar_top = l.client_height - kBarHeight;
  HWND bar = AddPanel(hwnd(), RECT{0, bar_top, l.client_width, l.client_height}, "BottomBar");
  AddButton(bar, "Сохранить"_cp, RECT{l.save_left, 8, l.save_left + 75, 33}, kSaveId, "bSave");
  AddButton(bar, "Закрыть"_cp, RECT{l.close_left, 8, l.close_left + 75, 33}, kCloseId, "bClose");
}

MappingEditorWindow::~MappingEditorWindow() = default;

void MappingEditorWindow::Run() {
  loading_ = true;
  Guarded([&] { form_->FormShow(); });
  loading_ = false;
  ShowModal();
}

std::string MappingEditorWindow::NameText(int row) const { return WindowText(rows_[row].name); }
std::string MappingEditorWindow::LengthText(int row) const { return WindowText(rows_[row].length); }
std::string MappingEditorWindow::TypeText(int row) const { return WindowText(rows_[row].type); }

void MappingEditorWindow::SetRow(int row, std::string_view name, std::string_view length, std::string_view type) {
  const bool was_loading = loading_;
  loading_ = true;  // filling the boxes is no change by the user
  SetWindowText1251(rows_[row].name, name);
  SetWindowText1251(rows_[row].length, length);
  SetWindowText1251(rows_[row].type, type);
  loading_ = was_loading;
}

void MappingEditorWindow::SetLengthEnabled(int row, bool enabled) { ::EnableWindow(rows_[row].length, enabled); }

void MappingEditorWindow::OnCommand(int id, int code, HWND control) {
  if (id == kSaveId && code == BN_CLICKED) {
    form_->bSaveClick();
  } else if (id == kCloseId && code == BN_CLICKED) {
    form_->bCloseClick();
  } else if (id >= kTypeId && id < kTypeId + form_->RowCount() && !loading_) {
    const int row = id - kTypeId;
    if (code == CBN_SELCHANGE) {
      // The edit part still shows the old text while the selection changes: take the item's.
      LRESULT item = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
      if (item == CB_ERR) return;
      std::wstring text(static_cast<std::size_t>(::SendMessageW(control, CB_GETLBTEXTLEN, item, 0)) + 1, L'\0');
      text.resize(
          static_cast<std::size_t>(::SendMessageW(control, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()))));
      loading_ = true;
      ::SetWindowTextW(control, text.c_str());
      loading_ = false;
      form_->TypeChange(row);
    } else if (code == CBN_EDITCHANGE) {
      form_->TypeChange(row);
    }
  }
}

bool MappingEditorWindow::OnKeyPreview(int key) { return form_->FormKeyDown(key); }

void MappingEditorWindow::OnScroll(HWND bar, int code) {
  if (bar != scroll_) return;
  SCROLLINFO info{sizeof(info), SIF_ALL, 0, 0, 0, 0, 0};
  ::GetScrollInfo(scroll_, SB_CTL, &info);
  int position = info.nPos;
  switch (code) {
    case SB_LINEUP: position -= kSmallStep; break;
    case SB_LINEDOWN: position += kSmallStep; break;
    case SB_PAGEUP: position -= kLargeStep; break;
    case SB_PAGEDOWN: position += kLargeStep; break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: position = info.nTrackPos; break;
    case SB_TOP: position = 0; break;
    case SB_BOTTOM: position = scroll_max_; break;
    default: return;
  }
  ScrollTo(position);
}

void MappingEditorWindow::OnMouseWheel(int delta) {
  ScrollTo(::GetScrollPos(scroll_, SB_CTL) - delta / WHEEL_DELTA * kSmallStep);
}

void MappingEditorWindow::ScrollTo(int position) {
  position = std::clamp(position, 0, scroll_max_);
  ::SetScrollPos(scroll_, SB_CTL, position, TRUE);
  // The row panel's top is minus the position: the rows move up as the bar moves down.
  ::SetWindowPos(row_panel_, nullptr, panel_left_, -position, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace epd::ui
