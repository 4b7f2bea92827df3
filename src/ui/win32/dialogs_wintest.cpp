// The settings dialogs as the host meets them: export_epd.dll is loaded, InitializeEPD and
// ShowSets are called through the export table, and the real windows are driven from the test's
// thread by finding them and their controls and sending them what a user's mouse and keyboard
// would. ShowSets runs its modal loop on a thread of its own, the host's thread. The keys that
// Windows sends as system keys have their own tests, in dialogs_keys_wintest.cpp.
#include <gtest/gtest.h>

#include "ui/win32/dialog_test_driver.h"

namespace {

using namespace epd::ui::dialog_tests;

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
  HWND menu, params, sel = OpenSuppliersForLatinKeys(&menu, &params);
  if (sel == nullptr) {
    if (!HasFailure()) GTEST_SKIP() << "typing Latin letters needs a layout other than the Russian one";
    return;
  }
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
