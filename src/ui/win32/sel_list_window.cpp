#include "ui/win32/sel_list_window.h"

#include <commctrl.h>

#include "platform/text.h"

namespace epd::ui {
namespace {

enum : int { kAddId = 100, kDeleteId, kGridId, kStatusId };

constexpr int kWindowWidth = 416;
constexpr int kWindowHeight = 400;
constexpr int kPanelHeight = 41;
constexpr int kStatusHeight = 19;
constexpr int kColumnWidth = 381;
constexpr int kSearchPanelWidth = 50;

constexpr const wchar_t* kOriginalProc = L"EPD.GridProc";

// The grid is read-only and its rows are chosen by the search: the list's own jump to the row
// whose text begins with a typed character is switched off. Key-downs still reach it.
LRESULT CALLBACK GridProc(HWND grid, UINT message, WPARAM wparam, LPARAM lparam) {
  auto original = reinterpret_cast<WNDPROC>(::GetPropW(grid, kOriginalProc));
  if (message == WM_CHAR) return 0;
  if (message == WM_NCDESTROY) {
    ::SetWindowLongPtrW(grid, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    ::RemovePropW(grid, kOriginalProc);
  }
  return ::CallWindowProcW(original, grid, message, wparam, lparam);
}

}  // namespace

SelListWindow::SelListWindow(HWND owner, suppliers::SelPlaces places)
    : FormWindow(owner), form_(std::move(places), *this) {
  // The window's outer size is given; the controls share what is left of it.
  CreateForm("TSelForm", suppliers::ListCaption(), {kWindowWidth, kWindowHeight, std::nullopt, true});
  RECT area;
  ::GetClientRect(hwnd(), &area);
  const int width = area.right;
  const int height = area.bottom;
  const int panel_top = height - kPanelHeight;
  const int status_top = panel_top - kStatusHeight;

  grid_ = AddControl(hwnd(), WC_LISTVIEWW, "",
                     WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER, WS_EX_CLIENTEDGE,
                     RECT{0, 0, width, status_top}, kGridId, "grSel");
  ListView_SetExtendedListViewStyle(grid_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
  ::SetPropW(grid_, kOriginalProc,
             reinterpret_cast<HANDLE>(::SetWindowLongPtrW(grid_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&GridProc))));
  std::wstring title = Wide("Поставщик"_cp);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
  column.fmt = LVCFMT_LEFT;
  column.cx = kColumnWidth;
  column.pszText = title.data();
  ::SendMessageW(grid_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  // The title is centred and bold; the first column's own text always stays left-aligned.
  HWND header = ListView_GetHeader(grid_);
  ::SendMessageW(header, WM_SETFONT, reinterpret_cast<WPARAM>(bold_font()), TRUE);
  HDITEMW item{};
  item.mask = HDI_FORMAT;
  item.fmt = HDF_CENTER | HDF_STRING;
  ::SendMessageW(header, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  SetName(header, "grSelTitles");

  status_ = AddControl(hwnd(), STATUSCLASSNAMEW, "", CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER, 0,
                       RECT{0, status_top, width, panel_top}, kStatusId, "StatusBar1");
  int parts[] = {kSearchPanelWidth};
  ::SendMessageW(status_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(parts));

  HWND panel = AddPanel(hwnd(), RECT{0, panel_top, width, height}, "Panel1");
  AddButton(panel, "Добавить"_cp, RECT{8, 8, 8 + 75, 33}, kAddId, "bAdd");
  delete_ = AddButton(panel, "Удалить"_cp, RECT{88, 8, 88 + 75, 33}, kDeleteId, "bDelete");
}

void SelListWindow::Run() {
  Guarded([&] { form_.FormShow(); });
  if (closed()) return;
  ShowModal();
}

void SelListWindow::SetCaption(std::string_view caption) { SetWindowText1251(hwnd(), caption); }

void SelListWindow::SetDeleteVisible(bool visible) { ::ShowWindow(delete_, visible ? SW_SHOW : SW_HIDE); }

void SelListWindow::SetSearchText(std::string_view text) {
  ::SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void SelListWindow::ShowRows(const std::vector<std::string>& sellers) {
  ::SendMessageW(grid_, LVM_DELETEALLITEMS, 0, 0);
  ::SendMessageW(grid_, LVM_SETITEMCOUNT, sellers.size(), 0);
  for (std::size_t i = 0; i < sellers.size(); ++i) {
    std::wstring text = Wide(sellers[i]);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(i);
    item.pszText = text.data();
    ::SendMessageW(grid_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  if (!sellers.empty()) {
    ListView_SetItemState(grid_, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_EnsureVisible(grid_, 0, FALSE);
  }
}

int SelListWindow::CurrentRow() const {
  int row = ListView_GetNextItem(grid_, -1, LVNI_SELECTED);
  if (row < 0) row = ListView_GetNextItem(grid_, -1, LVNI_FOCUSED);
  return row;
}

void SelListWindow::BeginUpdate() { ::SendMessageW(grid_, WM_SETREDRAW, FALSE, 0); }

void SelListWindow::EndUpdate() {
  ::SendMessageW(grid_, WM_SETREDRAW, TRUE, 0);
  ::InvalidateRect(grid_, nullptr, TRUE);
}

void SelListWindow::FocusGrid() { ::SetFocus(grid_); }

void SelListWindow::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED) return;
  if (id == kAddId) form_.bAddClick();
  if (id == kDeleteId) form_.bDeleteClick();
}

bool SelListWindow::OnKeyPreview(int key) {
  form_.FormKeyDown(key);
  return false;  // the focused control still gets the key
}

void SelListWindow::OnClose() { form_.FormClose(); }

}  // namespace epd::ui
