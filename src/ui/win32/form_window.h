#pragma once

#include <windows.h>

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The windows of the settings dialogs are plain Win32 windows built in code. FormWindow is one
// modal top-level window: it makes its controls, runs its own modal loop (the window sees every
// key-down before the focused control), and turns the controls' notifications into calls of
// its handlers. Every decision of a dialog lives in its portable class; a FormWindow only shows.
//
// All text is code page 1251 in the program and UTF-16 towards Windows, so the windows read right
// on any system locale. Every control carries its name from the program (CB_EnableExport,
// InvDtNam, bAdd, ...) as the window property "EPD.Name", which is what tests look for.
namespace epd::ui {

std::wstring Wide(std::string_view cp1251);
std::string Narrow(std::wstring_view text);

// The window text of any window, as code page 1251.
std::string WindowText(HWND window);
void SetWindowText1251(HWND window, std::string_view text);

// The property under which a window keeps its name (a const wchar_t*).
inline constexpr const wchar_t* kNameProperty = L"EPD.Name";

// Registers the window classes of the dialogs for the time the settings menu is open and removes
// them afterwards, so that the library can be unloaded and loaded again.
class WindowClasses {
 public:
  WindowClasses();
  ~WindowClasses();
  WindowClasses(const WindowClasses&) = delete;
  WindowClasses& operator=(const WindowClasses&) = delete;
};

inline constexpr COLORREF kMaroon = RGB(128, 0, 0);
inline constexpr COLORREF kNavy = RGB(0, 0, 128);
inline constexpr COLORREF kWhite = RGB(255, 255, 255);

class FormWindow {
 public:
  // `owner` is disabled while the window is shown, like the owner of a modal dialog.
  explicit FormWindow(HWND owner);
  virtual ~FormWindow();
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

  // Runs the modal loop until Close; the owner is enabled again before this returns.
  void ShowModal();
  // Ends the modal loop.
  void Close() { closed_ = true; }
  bool closed() const { return closed_; }

 protected:
  struct Placement {
    int width;
    int height;
    std::optional<POINT> position;  // top left of the window; centred on the screen when absent
    bool outer_size = false;        // width and height are the window's, not its client area's
  };
  // Makes the hidden window. `name` is the form's class name in the program (TSelForm, ...).
  void CreateForm(std::string_view name, std::string_view caption, const Placement& placement,
                  bool white_background = false);

  // Controls. `parent` is the form or a panel; coordinates are in the parent's client area.
  HWND AddControl(HWND parent, const wchar_t* window_class, std::string_view text, DWORD style, DWORD ex_style,
                  RECT box, int id, std::string_view name, bool bold = false);
  // A label as wide as its text, or at most `max_width` when that is given.
  HWND AddLabel(HWND parent, std::string_view text, int x, int y, std::string_view name, bool bold = false,
                int max_width = 0);
  HWND AddButton(HWND parent, std::string_view text, RECT box, int id, std::string_view name, bool bold = false);
  // A push button with a small picture left of its caption.
  enum class Glyph { kHeaderTable, kLineTable, kSettings };
  HWND AddGlyphButton(HWND parent, std::string_view text, RECT box, int id, std::string_view name, Glyph glyph);
  HWND AddCheckBox(HWND parent, std::string_view text, int x, int y, int id, std::string_view name);
  HWND AddEdit(HWND parent, int x, int y, int width, int id, std::string_view name);
  // A drop-down list that also accepts typed text.
  HWND AddComboBox(HWND parent, int x, int y, int width, const std::vector<std::string_view>& items, int id,
                   std::string_view name);
  // A group box whose caption has its own colour (and is bold when asked).
  HWND AddGroupBox(HWND parent, std::string_view text, RECT box, std::string_view name, COLORREF color, bool bold);
  // A plain child window that passes its controls' notifications on to the form.
  HWND AddPanel(HWND parent, RECT box, std::string_view name);

  HFONT font() const { return font_; }
  HFONT bold_font() const { return bold_font_; }
  // Width of a text in the form's font.
  int TextWidth(std::string_view text, bool bold = false) const;
  void SetName(HWND window, std::string_view name);

  // Handlers. OnKeyPreview sees every key-down meant for the form or one of its controls, system
  // keys (F10, Alt+key) included; true swallows the key.
  virtual void OnCommand(int /*id*/, int /*code*/, HWND /*control*/) {}
  virtual bool OnKeyPreview(int /*key*/) { return false; }
  virtual LRESULT OnNotify(NMHDR* /*header*/) { return 0; }
  virtual void OnScroll(HWND /*bar*/, int /*code*/) {}
  virtual void OnMouseWheel(int /*delta*/) {}
  // The close box or Alt+F4; the form closes after this.
  virtual void OnClose() {}

  // Runs a handler; whatever it raises is shown in an error box instead of unwinding into Windows.
  template <typename F>
  void Guarded(F&& handler) {
    try {
      handler();
    } catch (const std::exception& e) {
      ReportFailure(e.what());
    } catch (...) {
      ReportFailure(nullptr);
    }
  }

 private:
  static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PanelProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  friend class WindowClasses;
  // Messages that forms and panels share: notifications and colours of controls.
  bool HandleShared(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result);
  static void ReportFailure(const char* what);

  HWND owner_;
  HWND hwnd_ = nullptr;
  bool closed_ = false;
  bool white_ = false;
  HFONT font_ = nullptr;
  HFONT bold_font_ = nullptr;
  HBRUSH background_ = nullptr;
  void DrawGlyphButton(const DRAWITEMSTRUCT& item, Glyph glyph) const;

  std::map<HWND, COLORREF> caption_colors_;
  std::map<HWND, Glyph> glyph_buttons_;
  std::deque<std::wstring> names_;
};

// The form a window or one of its descendants belongs to.
FormWindow* FormOf(HWND window);

}  // namespace epd::ui
