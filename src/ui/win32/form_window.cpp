#include "ui/win32/form_window.h"

#include <commctrl.h>

#include "platform/codepage.h"
#include "platform/messages.h"
#include "platform/text.h"

namespace epd::ui {
namespace {

constexpr const wchar_t* kFormClass = L"EPDSettingsForm";
constexpr const wchar_t* kPanelClass = L"EPDSettingsPanel";

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// "MS Sans Serif" at 8 points, the font of every dialog. The texts are Russian: asking for the
// Cyrillic character set makes the font mapper take the Cyrillic form of the font (or a
// substitute that has the letters) whatever the system's locale.
HFONT MakeFont(bool bold) {
  HDC screen = ::GetDC(nullptr);
  int height = -::MulDiv(8, ::GetDeviceCaps(screen, LOGPIXELSY), 72);
  ::ReleaseDC(nullptr, screen);
  return ::CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       L"MS Sans Serif");
}

}  // namespace

std::wstring Wide(std::string_view cp1251) {
  std::u16string u = platform::Cp1251ToUtf16(cp1251);
  return std::wstring(u.begin(), u.end());
}

std::string Narrow(std::wstring_view text) {
  std::u16string u(text.begin(), text.end());
  return platform::Utf16ToCp1251(u);
}

std::string WindowText(HWND window) {
  int length = ::GetWindowTextLengthW(window);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(window, text.data(), length + 1)));
  return Narrow(text);
}

void SetWindowText1251(HWND window, std::string_view text) { ::SetWindowTextW(window, Wide(text).c_str()); }

WindowClasses::WindowClasses() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  WNDCLASSEXW form{};
  form.cbSize = sizeof(form);
  form.style = CS_DBLCLKS;
  form.lpfnWndProc = &FormWindow::FormProc;
  form.hInstance = ThisModule();
  form.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  ::RegisterClassExW(&form);
  WNDCLASSEXW panel = form;
  panel.lpfnWndProc = &FormWindow::PanelProc;
  panel.lpszClassName = kPanelClass;
  ::RegisterClassExW(&panel);
}

WindowClasses::~WindowClasses() {
  ::UnregisterClassW(kPanelClass, ThisModule());
  ::UnregisterClassW(kFormClass, ThisModule());
}

FormWindow* FormOf(HWND window) {
  HWND root = ::GetAncestor(window, GA_ROOT);
  if (root == nullptr) return nullptr;
  wchar_t cls[64] = {};
  ::GetClassNameW(root, cls, 64);
  if (::lstrcmpW(cls, kFormClass) != 0) return nullptr;
  return reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(root, GWLP_USERDATA));
}

FormWindow::FormWindow(HWND owner) : owner_(owner), font_(MakeFont(false)), bold_font_(MakeFont(true)) {}

FormWindow::~FormWindow() {
  if (hwnd_ != nullptr) {
    ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    ::DestroyWindow(hwnd_);
  }
  if (background_ != nullptr) ::DeleteObject(background_);
  ::DeleteObject(font_);
  ::DeleteObject(bold_font_);
}

void FormWindow::CreateForm(std::string_view name, std::string_view caption, const Placement& placement,
                            bool white_background) {
  white_ = white_background;
  background_ = ::CreateSolidBrush(white_ ? kWhite : ::GetSysColor(COLOR_BTNFACE));
  // No WS_CLIPCHILDREN: group boxes are transparent and leave their inside to the form.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  const DWORD ex_style = WS_EX_CONTROLPARENT | WS_EX_DLGMODALFRAME;
  RECT frame{0, 0, placement.width, placement.height};
  if (!placement.outer_size) ::AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  int x, y;
  if (placement.position) {
    x = placement.position->x;
    y = placement.position->y;
  } else {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    x = work.left + (work.right - work.left - width) / 2;
    y = work.top + (work.bottom - work.top - height) / 2;
  }
  hwnd_ = ::CreateWindowExW(ex_style, kFormClass, Wide(caption).c_str(), style, x, y, width, height, owner_, nullptr,
                            ThisModule(), this);
  SetName(hwnd_, name);
  // A fixed dialog: no maximise, no resize, no minimise in the system menu either.
  if (HMENU menu = ::GetSystemMenu(hwnd_, FALSE)) {
    ::DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
    ::DeleteMenu(menu, SC_MINIMIZE, MF_BYCOMMAND);
    ::DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
    ::DeleteMenu(menu, SC_RESTORE, MF_BYCOMMAND);
  }
}

void FormWindow::SetName(HWND window, std::string_view name) {
  names_.push_back(Wide(name));
  ::SetPropW(window, kNameProperty, const_cast<wchar_t*>(names_.back().c_str()));
}

HWND FormWindow::AddControl(HWND parent, const wchar_t* window_class, std::string_view text, DWORD style,
                            DWORD ex_style, RECT box, int id, std::string_view name, bool bold) {
  HWND control = ::CreateWindowExW(ex_style, window_class, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, box.left,
                                   box.top, box.right - box.left, box.bottom - box.top, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ThisModule(), nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(bold ? bold_font_ : font_), FALSE);
  SetName(control, name);
  return control;
}

int FormWindow::TextWidth(std::string_view text, bool bold) const {
  std::wstring w = Wide(text);
  HDC dc = ::GetDC(hwnd_);
  HGDIOBJ old = ::SelectObject(dc, bold ? bold_font_ : font_);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, w.c_str(), static_cast<int>(w.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(hwnd_, dc);
  return size.cx;
}

HWND FormWindow::AddLabel(HWND parent, std::string_view text, int x, int y, std::string_view name, bool bold,
                          int max_width) {
  int width = 0;
  int lines = 1;
  std::size_t start = 0;
  for (;;) {  // the widest line
    std::size_t end = text.find("\r\n", start);
    width = std::max(width, TextWidth(text.substr(start, end - start), bold));
    if (end == std::string_view::npos) break;
    start = end + 2;
    ++lines;
  }
  width += 2;
  if (max_width > 0 && width > max_width) width = max_width;
  const DWORD wrap = lines > 1 ? SS_LEFT : SS_LEFTNOWORDWRAP;  // a long one-line text is cut, not wrapped
  return AddControl(parent, L"STATIC", text, wrap | SS_NOPREFIX, 0, RECT{x, y, x + width, y + 13 * lines}, -1, name,
                    bold);
}

HWND FormWindow::AddButton(HWND parent, std::string_view text, RECT box, int id, std::string_view name, bool bold) {
  return AddControl(parent, L"BUTTON", text, WS_TABSTOP | BS_PUSHBUTTON, 0, box, id, name, bold);
}

HWND FormWindow::AddGlyphButton(HWND parent, std::string_view text, RECT box, int id, std::string_view name,
                                Glyph glyph) {
  HWND button = AddControl(parent, L"BUTTON", text, WS_TABSTOP | BS_PUSHBUTTON | BS_OWNERDRAW, 0, box, id, name, true);
  glyph_buttons_[button] = glyph;
  return button;
}

void FormWindow::DrawGlyphButton(const DRAWITEMSTRUCT& item, Glyph glyph) const {
  HDC dc = item.hDC;
  RECT r = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  ::DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  const int shift = pushed ? 1 : 0;

  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(item.hwndItem)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(item.hwndItem, text.data(), static_cast<int>(text.size()))));
  HGDIOBJ old_font = ::SelectObject(dc, bold_font_);
  SIZE extent{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  constexpr int kGlyph = 16, kGap = 6;
  const int left = r.left + (r.right - r.left - kGlyph - kGap - extent.cx) / 2 + shift;
  const int middle = (r.top + r.bottom) / 2 + shift;

  // The picture: a sheet with a table on it (header or lines), or two sliders (settings).
  HPEN pen = ::CreatePen(PS_SOLID, 1, kNavy);
  HGDIOBJ old_pen = ::SelectObject(dc, pen);
  HGDIOBJ old_brush = ::SelectObject(dc, ::GetStockObject(WHITE_BRUSH));
  const int top = middle - kGlyph / 2;
  if (glyph == Glyph::kSettings) {
    for (int i = 0; i < 2; ++i) {
      const int y = top + 4 + i * 8;
      ::MoveToEx(dc, left + 1, y, nullptr);
      ::LineTo(dc, left + kGlyph - 1, y);
      const int knob = left + (i == 0 ? 4 : 10);
      ::Rectangle(dc, knob - 2, y - 3, knob + 3, y + 4);
    }
  } else {
    ::Rectangle(dc, left + 1, top, left + kGlyph - 1, top + kGlyph);
    RECT band{left + 2, top + 1, left + kGlyph - 2, top + 5};
    HBRUSH fill = ::CreateSolidBrush(glyph == Glyph::kHeaderTable ? kMaroon : kNavy);
    if (glyph == Glyph::kHeaderTable) ::FillRect(dc, &band, fill);
    for (int y = top + 7; y < top + kGlyph - 1; y += 3) {
      RECT line{left + 4, y, left + kGlyph - 4, y + 1};
      ::FillRect(dc, &line, fill);
    }
    ::DeleteObject(fill);
  }
  ::SelectObject(dc, old_brush);
  ::SelectObject(dc, old_pen);
  ::DeleteObject(pen);

  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
  RECT label{left + kGlyph + kGap, r.top + shift, r.right, r.bottom + shift};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &label, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
  ::SelectObject(dc, old_font);
  if (item.itemState & ODS_FOCUS) {
    RECT focus = r;
    ::InflateRect(&focus, -4, -4);
    ::DrawFocusRect(dc, &focus);
  }
}

HWND FormWindow::AddCheckBox(HWND parent, std::string_view text, int x, int y, int id, std::string_view name) {
  const int width = TextWidth(text) + 24;
  return AddControl(parent, L"BUTTON", text, WS_TABSTOP | BS_AUTOCHECKBOX, 0, RECT{x, y, x + width, y + 17}, id, name);
}

HWND FormWindow::AddEdit(HWND parent, int x, int y, int width, int id, std::string_view name) {
  return AddControl(parent, L"EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, RECT{x, y, x + width, y + 21},
                    id, name);
}

HWND FormWindow::AddComboBox(HWND parent, int x, int y, int width, const std::vector<std::string_view>& items, int id,
                             std::string_view name) {
  HWND combo = AddControl(parent, L"COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0,
                          RECT{x, y, x + width, y + 200}, id, name);
  for (std::string_view item : items)
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
  return combo;
}

HWND FormWindow::AddGroupBox(HWND parent, std::string_view text, RECT box, std::string_view name, COLORREF color,
                             bool bold) {
  HWND group = AddControl(parent, L"BUTTON", text, BS_GROUPBOX, 0, box, -1, name, bold);
  caption_colors_[group] = color;
  return group;
}

HWND FormWindow::AddPanel(HWND parent, RECT box, std::string_view name) {
  HWND panel = ::CreateWindowExW(WS_EX_CONTROLPARENT, kPanelClass, L"", WS_CHILD | WS_VISIBLE, box.left, box.top,
                                 box.right - box.left, box.bottom - box.top, parent, nullptr, ThisModule(), nullptr);
  SetName(panel, name);
  return panel;
}

void FormWindow::ShowModal() {
  const bool owner_enabled = owner_ != nullptr && ::IsWindowEnabled(owner_);
  if (owner_enabled) ::EnableWindow(owner_, FALSE);
  ::ShowWindow(hwnd_, SW_SHOW);
  ::SetForegroundWindow(hwnd_);
  if (HWND first = ::GetNextDlgTabItem(hwnd_, nullptr, FALSE)) ::SetFocus(first);
  MSG msg;
  while (!closed_) {
    BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {  // the host is quitting: pass the quit on once the window is gone
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (got < 0) break;
    // Windows sends F10 and every key pressed with Alt as WM_SYSKEYDOWN: the preview sees them
    // like any key-down, and what it does not swallow goes on to the system's own handling
    // (Alt+F4, the window menu).
    const bool key_down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
    if (key_down && (msg.hwnd == hwnd_ || ::IsChild(hwnd_, msg.hwnd))) {
      bool swallowed = false;
      Guarded([&] { swallowed = OnKeyPreview(static_cast<int>(msg.wParam)); });
      if (swallowed || closed_) continue;
    }
    if (::IsDialogMessageW(hwnd_, &msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  if (owner_enabled) ::EnableWindow(owner_, TRUE);
  ::ShowWindow(hwnd_, SW_HIDE);
  if (owner_ != nullptr && ::IsWindowVisible(owner_)) ::SetActiveWindow(owner_);
}

void FormWindow::ReportFailure(const char* what) {
  try {
    platform::ShowError(what != nullptr && *what != 0 ? std::string(what)
                                                      : std::string("Внутренняя ошибка окна настроек"_cp));
  } catch (...) {
  }
}

bool FormWindow::HandleShared(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  switch (message) {
    case WM_COMMAND:
      Guarded([&] { OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam)); });
      *result = 0;
      return true;
    case WM_NOTIFY:
      *result = 0;
      Guarded([&] { *result = OnNotify(reinterpret_cast<NMHDR*>(lparam)); });
      return true;
    case WM_VSCROLL:
      if (lparam == 0) return false;
      Guarded([&] { OnScroll(reinterpret_cast<HWND>(lparam), LOWORD(wparam)); });
      *result = 0;
      return true;
    case WM_MOUSEWHEEL:
      Guarded([&] { OnMouseWheel(GET_WHEEL_DELTA_WPARAM(wparam)); });
      *result = 0;
      return true;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
      HDC dc = reinterpret_cast<HDC>(wparam);
      HWND control = reinterpret_cast<HWND>(lparam);
      // Labels, check boxes and group captions stand on the form's own background.
      auto color = caption_colors_.find(control);
      if (color != caption_colors_.end()) ::SetTextColor(dc, color->second);
      ::SetBkColor(dc, white_ ? kWhite : ::GetSysColor(COLOR_BTNFACE));
      *result = reinterpret_cast<LRESULT>(background_);
      return true;
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lparam);
      auto glyph = glyph_buttons_.find(item->hwndItem);
      if (glyph == glyph_buttons_.end()) return false;
      DrawGlyphButton(*item, glyph->second);
      *result = TRUE;
      return true;
    }
    case WM_ERASEBKGND: {
      RECT area;
      ::GetClientRect(window, &area);
      ::FillRect(reinterpret_cast<HDC>(wparam), &area, background_);
      *result = 1;
      return true;
    }
    default: return false;
  }
}

LRESULT CALLBACK FormWindow::FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* form = reinterpret_cast<FormWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (form != nullptr) {
    LRESULT result = 0;
    if (message == WM_CLOSE) {
      form->Guarded([&] { form->OnClose(); });
      form->Close();
      return 0;
    }
    if (form->HandleShared(window, message, wparam, lparam, &result)) return result;
  }
  if (message == WM_NCDESTROY) ::RemovePropW(window, kNameProperty);
  return ::DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK FormWindow::PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (FormWindow* form = FormOf(window)) {
    LRESULT result = 0;
    if (form->HandleShared(window, message, wparam, lparam, &result)) return result;
  }
  if (message == WM_NCDESTROY) ::RemovePropW(window, kNameProperty);
  return ::DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace epd::ui
