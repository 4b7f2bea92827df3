#pragma once

// What the settings dialogs' tests under Wine share: the host that loads export_epd.dll and
// calls ShowSets on a thread of its own, finding windows and controls, doing what a user does,
// pictures of the screen, and the fixture. Included by the *_wintest.cpp of the dialogs only.

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "export_epd.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/test_support.h"
#include "platform/text.h"
#include "tables/table.h"

namespace epd::dialog_test {

using epd::operator""_cp;
using epd::testing_support::ReadFile;
using epd::testing_support::TempDir;

using InitializeFn = bool(EPD_STDCALL*)(const char*);
using ShowSetsFn = void(EPD_STDCALL*)();

inline std::wstring W(std::string_view cp1251) {
  std::u16string u = epd::platform::Cp1251ToUtf16(cp1251);
  return std::wstring(u.begin(), u.end());
}

inline std::string Ini(const std::string& data_directory) { return ReadFile(data_directory + "export_epd.ini"); }

// --- Waiting -----------------------------------------------------------------------------------

inline bool WaitUntil(const std::function<bool()>& condition, int timeout_ms = 8000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

// --- Finding windows ---------------------------------------------------------------------------

inline std::wstring NameOf(HWND window) {
  auto* name = static_cast<const wchar_t*>(::GetPropW(window, L"EPD.Name"));
  return name != nullptr ? std::wstring(name) : std::wstring();
}

inline std::wstring ClassOf(HWND window) {
  wchar_t cls[64] = {};
  ::GetClassNameW(window, cls, 64);
  return cls;
}

inline std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

inline std::vector<HWND> TopWindows(DWORD thread) {
  std::vector<HWND> found;
  ::EnumThreadWindows(
      thread,
      [](HWND w, LPARAM out) {
        if (::IsWindowVisible(w)) reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

inline HWND FindChild(HWND parent, const std::wstring& name) {
  struct Search {
    std::wstring name;
    HWND found = nullptr;
  } search{name};
  ::EnumChildWindows(
      parent,
      [](HWND w, LPARAM p) {
        auto* s = reinterpret_cast<Search*>(p);
        if (NameOf(w) == s->name) {
          s->found = w;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// --- The host's thread -------------------------------------------------------------------------

class Host {
 public:
  Host() {
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring dll = exe;
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"export_epd.dll";
    module_ = ::LoadLibraryW(dll.c_str());
    if (module_ == nullptr) return;
    initialize_ = reinterpret_cast<InitializeFn>(reinterpret_cast<void*>(::GetProcAddress(module_, "InitializeEPD")));
    show_sets_ = reinterpret_cast<ShowSetsFn>(reinterpret_cast<void*>(::GetProcAddress(module_, "ShowSets")));
  }
  ~Host() {
    Finish();
    if (module_ != nullptr) ::FreeLibrary(module_);
  }

  bool loaded() const { return initialize_ != nullptr && show_sets_ != nullptr; }
  void Initialize(const std::string& base) { initialize_(base.c_str()); }

  // Calls ShowSets on the host's thread.
  void StartShowSets() {
    Finish();
    done_ = false;
    thread_ = std::thread([this] {
      thread_id_ = ::GetCurrentThreadId();
      started_ = true;
      show_sets_();
      done_ = true;
    });
    WaitUntil([&] { return started_.load(); });
  }

  bool ShowSetsReturned(int timeout_ms = 8000) {
    return WaitUntil([&] { return done_.load(); }, timeout_ms);
  }

  // Whatever a failed test left open is closed, so that the next test starts clean.
  void Finish() {
    if (!thread_.joinable()) return;
    for (int i = 0; i < 100 && !done_; ++i) {
      for (HWND w : TopWindows(thread_id_)) {
        if (ClassOf(w) == L"#32770") {
          ::PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
          ::PostMessageW(w, WM_COMMAND, IDOK, 0);
        } else {
          ::PostMessageW(w, WM_CLOSE, 0, 0);
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    thread_.join();
    started_ = false;
  }

  // The visible form of this name (TForm_ParamSets, THeaderForm, ...).
  HWND WaitForm(const std::wstring& name, int timeout_ms = 8000) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
          for (HWND w : TopWindows(thread_id_))
            if (NameOf(w) == name) found = w;
          return found != nullptr;
        },
        timeout_ms);
    return found;
  }

  bool FormGone(HWND form) {
    return WaitUntil([&] { return !::IsWindow(form) || !::IsWindowVisible(form); });
  }

  // A system dialog (message box, file dialog) owned by `owner`, or with this title.
  HWND WaitSystemDialog(HWND owner, const std::wstring& title = std::wstring()) {
    HWND found = nullptr;
    WaitUntil([&] {
      for (HWND w : TopWindows(thread_id_)) {
        if (ClassOf(w) != L"#32770") continue;
        if (!title.empty() ? TextOf(w) == title : ::GetWindow(w, GW_OWNER) == owner) found = w;
      }
      return found != nullptr;
    });
    return found;
  }

  // Reads the error box's text and presses OK.
  std::wstring AnswerErrorBox() {
    HWND box = WaitSystemDialog(nullptr, L"Error");
    if (box == nullptr) return L"<no error box>";
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the box sets its texts after showing
    std::wstring text;
    ::EnumChildWindows(
        box,
        [](HWND w, LPARAM out) {
          if (ClassOf(w) == L"Static" && !TextOf(w).empty()) *reinterpret_cast<std::wstring*>(out) = TextOf(w);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&text));
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    WaitUntil([&] { return !::IsWindow(box); });
    return text;
  }

  DWORD thread_id() const { return thread_id_; }

 private:
  HMODULE module_ = nullptr;
  InitializeFn initialize_ = nullptr;
  ShowSetsFn show_sets_ = nullptr;
  std::thread thread_;
  std::atomic<DWORD> thread_id_{0};
  std::atomic<bool> started_{false};
  std::atomic<bool> done_{false};
};

// --- What a user does --------------------------------------------------------------------------

inline void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

inline void PressKey(HWND target, int key) {
  ::PostMessageW(target, WM_KEYDOWN, key, 1);
  ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// F10, or a key pressed with Alt held: what Windows sends as system keys (bit 29 of the key data
// says Alt is down).
inline void PressSystemKey(HWND target, int key, bool alt) {
  const LPARAM context = alt ? 0x20000000 : 0;
  ::PostMessageW(target, WM_SYSKEYDOWN, key, 1 | context);
  ::PostMessageW(target, WM_SYSKEYUP, key, static_cast<LPARAM>(0xC0000001 | context));
}

// Types into an edit box, or into the edit part of a combo box, replacing its text.
inline void Type(HWND control, const std::wstring& text) {
  HWND edit = ClassOf(control) == L"ComboBox" ? ::FindWindowExW(control, nullptr, L"Edit", nullptr) : control;
  ::SendMessageW(edit, EM_SETSEL, 0, -1);
  ::PostMessageW(edit, WM_CHAR, VK_BACK, 1);
  for (wchar_t c : text) ::PostMessageW(edit, WM_CHAR, c, 1);
}

// Picks an entry of a combo box's list, as a click in the dropped-down list does.
inline void Choose(HWND combo, const std::wstring& entry) {
  LRESULT index =
      ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry.c_str()));
  if (entry.empty()) index = ::SendMessageW(combo, CB_GETCOUNT, 0, 0) - 1;  // the empty last entry
  ::SendMessageW(combo, CB_SETCURSEL, index, 0);
  ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

inline void SetChecked(HWND box, bool checked) {
  if ((::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != checked) ::SendMessageW(box, BM_CLICK, 0, 0);
}

inline bool Checked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

inline SIZE ClientSize(HWND window) {
  RECT r{};
  ::GetClientRect(window, &r);
  return {r.right, r.bottom};
}

inline SIZE OuterSize(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

inline POINT Position(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return {r.left, r.top};
}

// Top of a child window inside its parent.
inline int TopInParent(HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  POINT p{r.left, r.top};
  ::ScreenToClient(::GetParent(child), &p);
  return p.y;
}

inline void ScrollRows(HWND form, int code) {
  HWND bar = FindChild(form, L"scroll");
  ::SendMessageW(::GetParent(bar), WM_VSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(bar));
}

inline std::vector<std::wstring> GridRows(HWND grid) {
  std::vector<std::wstring> rows;
  const int count = static_cast<int>(::SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    LVITEMW item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = 256;
    ::SendMessageW(grid, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
    rows.push_back(text);
  }
  return rows;
}

inline void SelectRow(HWND grid, int row) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(grid, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

inline std::wstring StatusText(HWND status) {
  wchar_t text[256] = {};
  ::SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  return text;
}

// --- Pictures ----------------------------------------------------------------------------------

inline void Shot(const std::string& name) {
  const char* dir = std::getenv("EPD_SHOT_DIR");
  if (dir == nullptr || *dir == 0) return;
  std::string windows_dir = dir;
  if (windows_dir[0] == '/') {  // a Unix path: Wine shows the root as drive Z:
    for (char& c : windows_dir)
      if (c == '/') c = '\\';
    windows_dir = "Z:" + windows_dir;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // let the windows paint
  const std::string request = windows_dir + "\\" + name + ".request";
  const std::string picture = windows_dir + "\\" + name + ".png";
  epd::testing_support::WriteFile(request, name);
  WaitUntil([&] { return epd::platform::FileExists(picture) && !epd::platform::FileExists(request); }, 20000);
}

// --- Fixture -----------------------------------------------------------------------------------

class WineDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host_.loaded()) << "export_epd.dll with InitializeEPD and ShowSets";
    base_ = dir_.path();
    data_ = base_ + "DATA\\";
    epd::platform::MakeDirectory(base_ + "DATA");
    host_.Initialize(base_);
  }

  HWND OpenMenu() {
    host_.StartShowSets();
    return host_.WaitForm(L"TForm_ParamSets");
  }

  HWND OpenFromMenu(HWND menu, const wchar_t* button, const wchar_t* form) {
    Click(FindChild(menu, button));
    return host_.WaitForm(form);
  }

  // The supplier dialog opened from the parameters dialog of the settings menu, for typing Latin
  // letters into it: null (and the menu closed again) when the host's thread has the Russian
  // layout, or with a failure added when a window does not come.
  HWND OpenSuppliersForLatinKeys(HWND* menu, HWND* params) {
    *menu = OpenMenu();
    if (*menu == nullptr) return ADD_FAILURE() << "no settings menu", nullptr;
    *params = OpenFromMenu(*menu, L"btn_Settings", L"TFormParam");
    if (*params == nullptr) return ADD_FAILURE() << "no parameters dialog", nullptr;
    if (LOWORD(reinterpret_cast<ULONG_PTR>(::GetKeyboardLayout(host_.thread_id()))) == 0x0419) {
      PressKey(*params, VK_ESCAPE);
      CloseMenu(*menu);
      return nullptr;
    }
    HWND sel = OpenFromMenu(*params, L"bChange", L"TSelForm");
    if (sel == nullptr) ADD_FAILURE() << "no supplier dialog";
    return sel;
  }

  void CloseMenu(HWND menu) {
    PressKey(menu, VK_ESCAPE);
    EXPECT_TRUE(host_.ShowSetsReturned());
  }

  void MakeSupplierDirectory(const std::vector<std::pair<int, std::string>>& suppliers) {
    epd::platform::MakeDirectory(base_ + "Price");
    epd::tables::FieldDefs defs;
    defs.Add("idSeller", epd::tables::FieldType::kInteger);
    defs.Add("Seller", epd::tables::FieldType::kString, 50);
    const std::string path = base_ + "Price\\Sellers.dbf";
    epd::tables::CreateTable(path, defs);
    auto table = epd::tables::Table::Open(path);
    for (const auto& [id, name] : suppliers) {
      table->Append();
      table->SetAsString("idSeller", std::to_string(id));
      table->SetAsString("Seller", name);
      table->Post();
    }
  }

  std::vector<std::pair<int, std::string>> Listed() {
    std::vector<std::pair<int, std::string>> rows;
    auto table = epd::tables::Table::Open(data_ + "SelList.dbf");
    for (table->First(); !table->Eof(); table->Next())
      rows.emplace_back(table->AsInteger("idSeller"), table->AsString("Seller"));
    return rows;
  }

  TempDir dir_;
  std::string base_, data_;
  Host host_;
};

}  // namespace epd::dialog_test
