// The settings dialogs as the host meets them: export_epd.dll is loaded, InitializeEPD and
// ShowSets are called through the export table, and the real windows are driven from the test's
// thread by finding them and their controls and sending them what a user's mouse and keyboard
// would. ShowSets runs its modal loop on a thread of its own, the host's thread.
//
// With EPD_SHOT_DIR set (a folder), a picture of the screen is asked for at each window: the
// test writes NAME.request there and waits for NAME.png, which scripts/test.d/31-wine-dialogs.sh
// takes with ImageMagick on the X display.
#include "ui/win32/dialogs_wintest.h"

namespace epd::dialog_test {
namespace {

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

}  // namespace
}  // namespace epd::dialog_test
