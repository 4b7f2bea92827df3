// The supplier list dialog as the host meets it: opened from the parameters dialog of the
// settings menu that ShowSets shows, and driven as a user would (see dialogs_wintest.h).

#include "ui/win32/dialogs_wintest.h"

namespace epd::dialog_test {
namespace {

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
}  // namespace epd::dialog_test
