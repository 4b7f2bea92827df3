// The settings dialogs as the host meets them: export_epd.dll is loaded, InitializeEPD and
// ShowSets are called through the export table, and the real windows are driven from the test's
// thread by finding them and their controls and sending them what a user's mouse and keyboard
// would. ShowSets runs its modal loop on a thread of its own, the host's thread.
//
// With EPD_SHOT_DIR set (a folder), a picture of the screen is asked for at each window: the
// test writes NAME.request there and waits for NAME.png, which scripts/test.d/31-wine-dialogs.sh
// takes with ImageMagick on the X display.
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

namespace {

using epd::operator""_cp;
using epd::testing_support::ReadFile;
using epd::testing_support::TempDir;

using InitializeFn = bool(EPD_STDCALL*)(const char*);
using ShowSetsFn = void(EPD_STDCALL*)();

std::wstring W(std::string_view cp1251) {
  std::u16string u = epd::platform::Cp1251ToUtf16(cp1251);
  return std::wstring(u.begin(), u.end());
}

std::string Ini(const std::string& data_directory) { return ReadFile(data_directory + "export_epd.ini"); }

// --- Waiting -----------------------------------------------------------------------------------

bool WaitUntil(const std::function<bool()>& condition, int timeout_ms = 8000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}

// --- Finding windows ---------------------------------------------------------------------------

std::wstring NameOf(HWND window) {
  auto* name = static_cast<const wchar_t*>(::GetPropW(window, L"EPD.Name"));
  return name != nullptr ? std::wstring(name) : std::wstring();
}

std::wstring ClassOf(HWND window) {
  wchar_t cls[64] = {};
  ::GetClassNameW(window, cls, 64);
  return cls;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
  return text;
}

std::vector<HWND> TopWindows(DWORD thread) {
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

HWND FindChild(HWND parent, const std::wstring& name) {
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

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

void PressKey(HWND target, int key) {
  ::PostMessageW(target, WM_KEYDOWN, key, 1);
  ::PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

// Types into an edit box, or into the edit part of a combo box, replacing its text.
void Type(HWND control, const std::wstring& text) {
  HWND edit = ClassOf(control) == L"ComboBox" ? ::FindWindowExW(control, nullptr, L"Edit", nullptr) : control;
  ::SendMessageW(edit, EM_SETSEL, 0, -1);
  ::PostMessageW(edit, WM_CHAR, VK_BACK, 1);
  for (wchar_t c : text) ::PostMessageW(edit, WM_CHAR, c, 1);
}

// Picks an entry of a combo box's list, as a click in the dropped-down list does.
void Choose(HWND combo, const std::wstring& entry) {
  LRESULT index =
      ::SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry.c_str()));
  if (entry.empty()) index = ::SendMessageW(combo, CB_GETCOUNT, 0, 0) - 1;  // the empty last entry
  ::SendMessageW(combo, CB_SETCURSEL, index, 0);
  ::SendMessageW(::GetParent(combo), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
}

void SetChecked(HWND box, bool checked) {
  if ((::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED) != checked) ::SendMessageW(box, BM_CLICK, 0, 0);
}

bool Checked(HWND box) { return ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

SIZE ClientSize(HWND window) {
  RECT r{};
  ::GetClientRect(window, &r);
  return {r.right, r.bottom};
}

SIZE OuterSize(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return {r.right - r.left, r.bottom - r.top};
}

POINT Position(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return {r.left, r.top};
}

// Top of a child window inside its parent.
int TopInParent(HWND child) {
  RECT r{};
  ::GetWindowRect(child, &r);
  POINT p{r.left, r.top};
  ::ScreenToClient(::GetParent(child), &p);
  return p.y;
}

void ScrollRows(HWND form, int code) {
  HWND bar = FindChild(form, L"scroll");
  ::SendMessageW(::GetParent(bar), WM_VSCROLL, MAKEWPARAM(code, 0), reinterpret_cast<LPARAM>(bar));
}

std::vector<std::wstring> GridRows(HWND grid) {
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

void SelectRow(HWND grid, int row) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  ::SendMessageW(grid, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

std::wstring StatusText(HWND status) {
  wchar_t text[256] = {};
  ::SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  return text;
}

// --- Pictures ----------------------------------------------------------------------------------

void Shot(const std::string& name) {
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

TEST_F(WineDialogsTest, MenuAndMappingEditors) {
  HWND menu = OpenMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(TextOf(menu), L"Экспорт накладных");
  EXPECT_EQ(ClientSize(menu).cx, 228);
  EXPECT_EQ(ClientSize(menu).cy, 159);
  EXPECT_EQ(Position(menu).x, 406);
  EXPECT_EQ(Position(menu).y, 280);
  EXPECT_EQ(TextOf(FindChild(menu, L"GroupBox1")), L"Настройка структуры");
  EXPECT_EQ(TextOf(FindChild(menu, L"btn_Settings")), L"Настройка параметров");
  Shot("1-menu");

  // The header editor: load, type, choose, save.
  HWND header = OpenFromMenu(menu, L"btn_Catalog", L"THeaderForm");
  ASSERT_NE(header, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(menu));  // modal to the menu
  EXPECT_EQ(TextOf(header), L"Настройка каталога экспорта накладных");
  EXPECT_EQ(ClientSize(header).cx, 641);
  EXPECT_EQ(ClientSize(header).cy, 541);
  EXPECT_EQ(Position(header).x, 257);
  EXPECT_EQ(Position(header).y, 126);
  HWND inv_len = FindChild(header, L"InvDtLen");
  EXPECT_EQ(TextOf(inv_len), L"0");
  EXPECT_FALSE(::IsWindowEnabled(inv_len));
  EXPECT_EQ(TextOf(FindChild(header, L"InvDtType")), L"нет");
  Shot("2-header-top");
  HWND rows = FindChild(header, L"RowPanel");
  ScrollRows(header, SB_BOTTOM);
  EXPECT_EQ(TopInParent(rows), -450);
  Shot("3-header-bottom");
  ScrollRows(header, SB_LINEUP);
  EXPECT_EQ(TopInParent(rows), -400);
  ScrollRows(header, SB_PAGEUP);
  EXPECT_EQ(TopInParent(rows), -300);
  ScrollRows(header, SB_TOP);
  EXPECT_EQ(TopInParent(rows), 0);

  Type(FindChild(header, L"InvDtNam"), L"DOCDATE");
  Choose(FindChild(header, L"InvDtType"), L"ftString");
  EXPECT_TRUE(::IsWindowEnabled(inv_len));
  EXPECT_EQ(TextOf(inv_len), L"0");  // choosing ftString puts no length in
  Type(inv_len, L"12");
  Type(FindChild(header, L"idMsgType"), L"ftstring");  // typed, in lower case
  Choose(FindChild(header, L"MsgNumType"), L"ftInteger");
  ASSERT_TRUE(WaitUntil([&] { return TextOf(FindChild(header, L"idMsgType")) == L"ftstring"; }));
  EXPECT_FALSE(::IsWindowEnabled(FindChild(header, L"idMsgLen")));
  Type(FindChild(header, L"BrecQType"), L"ftString");
  ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(FindChild(header, L"BrecQLen")) != FALSE; }));
  Click(FindChild(header, L"bSave"));
  ASSERT_TRUE(host_.FormGone(header));
  EXPECT_TRUE(::IsWindowEnabled(menu));
  std::string ini = Ini(data_);
  EXPECT_NE(ini.find("[INVDT]\r\nname=DOCDATE\r\nlength=12\r\ntype=ftString\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[IDMSG]\r\nname=\r\nlength=0\r\ntype=ftstring\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[MSGNUM]\r\nname=\r\nlength=0\r\ntype=ftInteger\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("[TIME_RCV]\r\nname=\r\nlength=0\r\ntype=нет\r\n"_cp), std::string::npos) << ini;

  // The line editor shares IDMSG with the header; Esc in a name box closes it unsaved.
  HWND body = OpenFromMenu(menu, L"btn_Contents", L"TBodyForm");
  ASSERT_NE(body, nullptr);
  EXPECT_EQ(TextOf(body), L"Настройка тела экспорта накладных");
  EXPECT_EQ(ClientSize(body).cx, 630);
  EXPECT_EQ(ClientSize(body).cy, 600);
  RECT work{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_NEAR(Position(body).x + OuterSize(body).cx / 2, (work.left + work.right) / 2, 1);
  EXPECT_EQ(TextOf(FindChild(body, L"idMsgType")), L"ftstring");
  Shot("4-body-top");
  ScrollRows(body, SB_BOTTOM);
  EXPECT_EQ(TopInParent(FindChild(body, L"RowPanel")), -370);
  Shot("5-body-bottom");
  Choose(FindChild(body, L"CurSignType"), L"ftString");
  EXPECT_TRUE(::IsWindowEnabled(FindChild(body, L"CurSignLen")));
  EXPECT_FALSE(::IsWindowEnabled(FindChild(body, L"CurRegPrLen")));
  Choose(FindChild(body, L"GNVLSType"), L"");
  EXPECT_EQ(TextOf(FindChild(body, L"GNVLSType")), L"");
  Type(FindChild(body, L"ItemIdNam"), L"NAME");
  PressKey(FindChild(body, L"ItemIdNam"), VK_ESCAPE);
  ASSERT_TRUE(host_.FormGone(body));
  EXPECT_EQ(Ini(data_), ini);

  // "Закрыть" and the close box write nothing either.
  header = OpenFromMenu(menu, L"btn_Catalog", L"THeaderForm");
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(TextOf(FindChild(header, L"InvDtLen")), L"12");
  EXPECT_TRUE(::IsWindowEnabled(FindChild(header, L"InvDtLen")));
  Type(FindChild(header, L"InvDtNam"), L"OTHER");
  Click(FindChild(header, L"bClose"));
  ASSERT_TRUE(host_.FormGone(header));
  body = OpenFromMenu(menu, L"btn_Contents", L"TBodyForm");
  ASSERT_NE(body, nullptr);
  Type(FindChild(body, L"SeriesNam"), L"SER");
  ::PostMessageW(body, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(host_.FormGone(body));
  EXPECT_EQ(Ini(data_), ini);

  // The line editor's save replaces the shared sections and writes its rows in its own order.
  body = OpenFromMenu(menu, L"btn_Contents", L"TBodyForm");
  ASSERT_NE(body, nullptr);
  Choose(FindChild(body, L"idMsgType"), L"ftInteger");
  Click(FindChild(body, L"bSave"));
  ASSERT_TRUE(host_.FormGone(body));
  ini = Ini(data_);
  EXPECT_NE(ini.find("[IDMSG]\r\nname=\r\nlength=0\r\ntype=ftInteger\r\n"), std::string::npos) << ini;
  EXPECT_LT(ini.find("[ALTCOD]"), ini.find("[ITEMQTY]"));
  EXPECT_LT(ini.find("[SUMRECTOT]"), ini.find("[CURREGPR]"));

  CloseMenu(menu);
}

TEST_F(WineDialogsTest, ParametersDialog) {
  epd::platform::MakeDirectory(base_ + "OUT");
  HWND menu = OpenMenu();
  ASSERT_NE(menu, nullptr);
  HWND params = OpenFromMenu(menu, L"btn_Settings", L"TFormParam");
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(TextOf(params), L"Настройка параметров ");
  EXPECT_EQ(ClientSize(params).cx, 390);
  EXPECT_EQ(ClientSize(params).cy, 457);
  EXPECT_EQ(Position(params).x, 423);
  EXPECT_EQ(Position(params).y, 142);
  // No settings file: this dialog's defaults.
  for (const wchar_t* box :
       {L"CB_EnableExport", L"chbAutoExport", L"chbSnglFile", L"chbManyFiles", L"chbSeller", L"chbChange"})
    EXPECT_FALSE(Checked(FindChild(params, box))) << box;
  EXPECT_EQ(TextOf(FindChild(params, L"Edit_Dir")), L"");
  EXPECT_EQ(TextOf(FindChild(params, L"edDos")), L"866");
  EXPECT_EQ(TextOf(FindChild(params, L"edLevel")), L"7");
  EXPECT_EQ(TextOf(FindChild(params, L"edCharLS")), L"");
  Shot("6-parameters");

  // The folder choice: the folder of the confirmed name; a cancelled choice keeps the text.
  Click(FindChild(params, L"B_Browse"));
  HWND files = host_.WaitSystemDialog(params);
  ASSERT_NE(files, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::wstring folder = W(base_ + "OUT");
  ::SetDlgItemTextW(files, 0x47c, (folder + L"\\Directory").c_str());
  ::PostMessageW(files, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitUntil([&] { return TextOf(FindChild(params, L"Edit_Dir")) == folder; }))
      << TextOf(FindChild(params, L"Edit_Dir"));
  Click(FindChild(params, L"B_Browse"));
  files = host_.WaitSystemDialog(params);
  ASSERT_NE(files, nullptr);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::PostMessageW(files, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !::IsWindow(files); }));
  EXPECT_EQ(TextOf(FindChild(params, L"Edit_Dir")), folder);

  SetChecked(FindChild(params, L"CB_EnableExport"), true);
  SetChecked(FindChild(params, L"chbSeller"), true);
  SetChecked(FindChild(params, L"chbChange"), true);
  Type(FindChild(params, L"edLevel"), L"3");
  Choose(FindChild(params, L"edDos"), L"1251");
  Type(FindChild(params, L"edCharLS"), L"5");
  ASSERT_TRUE(WaitUntil([&] { return TextOf(FindChild(params, L"edCharLS")) == L"5"; }));
  Click(FindChild(params, L"B_Save"));
  ASSERT_TRUE(host_.FormGone(params));
  EXPECT_EQ(Ini(data_), "[EPD]\r\nbExportEPD=1\r\nExport_Dir=" + base_ +
                            "OUT\r\nbDOScoding=0\r\nlavel=3\r\nsinglefile=0\r\nbAutoExportEPD=0\r\nmanyfiles=0\r\n"
                            "seller=1\r\ncharlength=5\r\n[Settings]\r\nbchangecncode=1\r\n");
  EXPECT_EQ(ReadFile(data_ + "export.ini"), "[EPD]\r\nbExportEPD=1\r\n");

  // Shown again: the stored values. "Отмена" after changes, and Esc, write nothing.
  const std::string saved = Ini(data_);
  params = OpenFromMenu(menu, L"btn_Settings", L"TFormParam");
  ASSERT_NE(params, nullptr);
  EXPECT_TRUE(Checked(FindChild(params, L"CB_EnableExport")));
  EXPECT_EQ(TextOf(FindChild(params, L"edDos")), L"1251");
  EXPECT_EQ(TextOf(FindChild(params, L"edLevel")), L"3");
  SetChecked(FindChild(params, L"CB_EnableExport"), false);
  Click(FindChild(params, L"B_Cancel"));
  ASSERT_TRUE(host_.FormGone(params));
  params = OpenFromMenu(menu, L"btn_Settings", L"TFormParam");
  ASSERT_NE(params, nullptr);
  SetChecked(FindChild(params, L"chbAutoExport"), true);
  PressKey(FindChild(params, L"edCharLS"), VK_ESCAPE);
  ASSERT_TRUE(host_.FormGone(params));
  EXPECT_TRUE(::IsWindowVisible(menu));  // Esc closed only the parameters dialog
  EXPECT_EQ(Ini(data_), saved);

  CloseMenu(menu);
  // A second ShowSets makes a fresh menu.
  menu = OpenMenu();
  ASSERT_NE(menu, nullptr);
  ::PostMessageW(menu, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(host_.ShowSetsReturned());
}

TEST_F(WineDialogsTest, ARefusedSettingsWriteShowsItsErrorAndKeepsTheDialogOpen) {
  host_.Initialize(base_ + "NO SUCH HOST");  // its DATA folder does not exist
  const std::wstring refused = L"Unable to write to " + W(base_) + L"NO SUCH HOST\\DATA\\export_epd.ini";
  HWND menu = OpenMenu();
  ASSERT_NE(menu, nullptr);
  HWND params = OpenFromMenu(menu, L"btn_Settings", L"TFormParam");
  ASSERT_NE(params, nullptr);
  Click(FindChild(params, L"B_Save"));
  EXPECT_EQ(host_.AnswerErrorBox(), refused);
  EXPECT_TRUE(::IsWindowVisible(params));
  Click(FindChild(params, L"B_Cancel"));
  ASSERT_TRUE(host_.FormGone(params));

  HWND header = OpenFromMenu(menu, L"btn_Catalog", L"THeaderForm");
  ASSERT_NE(header, nullptr);
  Click(FindChild(header, L"bSave"));
  EXPECT_EQ(host_.AnswerErrorBox(), refused);
  EXPECT_TRUE(::IsWindowVisible(header));
  Click(FindChild(header, L"bClose"));
  ASSERT_TRUE(host_.FormGone(header));
  CloseMenu(menu);
}

TEST_F(WineDialogsTest, SupplierListDialog) {
  MakeSupplierDirectory({{10, "Фармация"_cp}, {20, "Альфа"_cp}, {30, "Бета"_cp}, {40, "Вектор"_cp}, {50, "Omega"}});
  HWND menu = OpenMenu();
  ASSERT_NE(menu, nullptr);
  HWND params = OpenFromMenu(menu, L"btn_Settings", L"TFormParam");
  ASSERT_NE(params, nullptr);
  if (LOWORD(reinterpret_cast<ULONG_PTR>(::GetKeyboardLayout(host_.thread_id()))) == 0x0419) {
    PressKey(params, VK_ESCAPE);
    CloseMenu(menu);
    GTEST_SKIP() << "typing Latin letters needs a layout other than the Russian one";
  }
  HWND sel = OpenFromMenu(params, L"bChange", L"TSelForm");
  ASSERT_NE(sel, nullptr);
  EXPECT_FALSE(::IsWindowEnabled(params));
  EXPECT_EQ(TextOf(sel), L"Список поставщиков");
  EXPECT_EQ(OuterSize(sel).cx, 416);
  EXPECT_EQ(OuterSize(sel).cy, 400);
  EXPECT_TRUE(epd::platform::FileExists(data_ + "SelList.dbf"));
  HWND grid = FindChild(sel, L"grSel");
  HWND status = FindChild(sel, L"StatusBar1");
  HWND remove = FindChild(sel, L"bDelete");
  EXPECT_TRUE(GridRows(grid).empty());
  EXPECT_TRUE(::IsWindowVisible(remove));
  wchar_t title[64] = {};
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.pszText = title;
  column.cchTextMax = 64;
  ::SendMessageW(grid, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
  EXPECT_EQ(std::wstring(title), L"Поставщик");
  EXPECT_EQ(column.cx, 381);
  const LRESULT styles = ::SendMessageW(grid, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_TRUE(styles & LVS_EX_FULLROWSELECT);
  EXPECT_TRUE(styles & LVS_EX_GRIDLINES);

  // "Добавить": choice mode with every supplier of the directory, by name.
  Click(FindChild(sel, L"bAdd"));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(sel) == L"Выбор поставщика"; }));
  EXPECT_FALSE(::IsWindowVisible(remove));
  EXPECT_EQ(GridRows(grid), (std::vector<std::wstring>{L"Omega", L"Альфа", L"Бета", L"Вектор", L"Фармация"}));
  Shot("7-suppliers-choice");

  // Keys narrow the list (a Latin layout on this thread); the Delete key resets the search.
  PressKey(grid, 'O');
  ASSERT_TRUE(WaitUntil([&] { return StatusText(status) == L"O"; }));
  EXPECT_EQ(GridRows(grid), std::vector<std::wstring>{L"Omega"});
  PressKey(grid, VK_DELETE);
  ASSERT_TRUE(WaitUntil([&] { return StatusText(status).empty() && GridRows(grid).size() == 5; }));
  EXPECT_EQ(TextOf(sel), L"Выбор поставщика");

  // Choosing a row and "Добавить" adds it and shows the whole list again.
  SelectRow(grid, 3);  // Вектор
  Click(FindChild(sel, L"bAdd"));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(sel) == L"Список поставщиков"; }));
  EXPECT_EQ(GridRows(grid), std::vector<std::wstring>{L"Вектор"});
  EXPECT_TRUE(::IsWindowVisible(remove));
  Click(FindChild(sel, L"bAdd"));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(sel) == L"Выбор поставщика"; }));
  EXPECT_EQ(GridRows(grid).size(), 4u);  // a listed supplier is not offered
  SelectRow(grid, 0);                    // Omega
  Click(FindChild(sel, L"bAdd"));
  ASSERT_TRUE(WaitUntil([&] { return GridRows(grid).size() == 2; }));
  Click(FindChild(sel, L"bAdd"));
  ASSERT_TRUE(WaitUntil([&] { return TextOf(sel) == L"Выбор поставщика"; }));
  SelectRow(grid, 0);  // Альфа
  Click(FindChild(sel, L"bAdd"));
  ASSERT_TRUE(WaitUntil([&] { return GridRows(grid).size() == 3; }));
  EXPECT_EQ(GridRows(grid), (std::vector<std::wstring>{L"Omega", L"Альфа", L"Вектор"}));
  Shot("8-suppliers-list");

  // A search, then "Удалить": the text is cleared, the list stays narrowed.
  PressKey(grid, 'O');
  ASSERT_TRUE(WaitUntil([&] { return StatusText(status) == L"O"; }));
  EXPECT_EQ(GridRows(grid), std::vector<std::wstring>{L"Omega"});
  Click(remove);
  ASSERT_TRUE(WaitUntil([&] { return GridRows(grid).empty(); }));
  EXPECT_EQ(StatusText(status), L"");
  EXPECT_EQ(Listed(), (std::vector<std::pair<int, std::string>>{{40, "Вектор"_cp}, {20, "Альфа"_cp}}));
  PressKey(grid, VK_DELETE);
  ASSERT_TRUE(WaitUntil([&] { return GridRows(grid).size() == 2; }));

  // The close box closes only this dialog; no key of its own closes it.
  PressKey(grid, VK_ESCAPE);
  PressKey(grid, VK_RETURN);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(::IsWindowVisible(sel));
  ::PostMessageW(sel, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(host_.FormGone(sel));
  EXPECT_TRUE(::IsWindowEnabled(params));
  Click(FindChild(params, L"B_Cancel"));
  ASSERT_TRUE(host_.FormGone(params));
  CloseMenu(menu);
}

TEST_F(WineDialogsTest, SupplierSearchWithTheRussianLayout) {
  MakeSupplierDirectory({{1, "Альфа"_cp}, {2, "Бета"_cp}, {3, "Вектор"_cp}, {4, "Omega"}});
  HWND menu = OpenMenu();
  ASSERT_NE(menu, nullptr);
  // Wine takes the keyboard layout from the locale it runs in (LANG=ru_RU.UTF-8 gives 00000419);
  // the stage scripts/test.d/31-wine-dialogs.sh runs this test so.
  if (LOWORD(reinterpret_cast<ULONG_PTR>(::GetKeyboardLayout(host_.thread_id()))) != 0x0419) {
    CloseMenu(menu);
    GTEST_SKIP() << "the host's thread has no Russian keyboard layout";
  }
  HWND params = OpenFromMenu(menu, L"btn_Settings", L"TFormParam");
  ASSERT_NE(params, nullptr);
  HWND sel = OpenFromMenu(params, L"bChange", L"TSelForm");
  ASSERT_NE(sel, nullptr);
  HWND grid = FindChild(sel, L"grSel");
  HWND status = FindChild(sel, L"StatusBar1");
  Click(FindChild(sel, L"bAdd"));
  ASSERT_TRUE(WaitUntil([&] { return GridRows(grid).size() == 4; }));
  PressKey(grid, 'F');  // А
  ASSERT_TRUE(WaitUntil([&] { return StatusText(status) == L"А"; }));
  EXPECT_EQ(GridRows(grid), (std::vector<std::wstring>{L"Альфа", L"Бета"}));
  PressKey(grid, 'K');  // Л
  ASSERT_TRUE(WaitUntil([&] { return StatusText(status) == L"АЛ"; }));
  EXPECT_EQ(GridRows(grid), std::vector<std::wstring>{L"Альфа"});
  Shot("9-suppliers-search");
  PressKey(grid, VK_BACK);
  PressKey(grid, VK_BACK);
  ASSERT_TRUE(WaitUntil([&] { return StatusText(status).empty() && GridRows(grid).size() == 4; }));
  ::PostMessageW(sel, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(host_.FormGone(sel));
  PressKey(FindChild(params, L"Edit_Dir"), VK_ESCAPE);
  ASSERT_TRUE(host_.FormGone(params));
  CloseMenu(menu);
}

}  // namespace
