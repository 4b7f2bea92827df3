// The keys Windows sends as system keys (WM_SYSKEYDOWN): F10 and every key pressed with Alt. The
// supplier dialog's key preview sees them as it sees any key-down, so that Alt+letter narrows
// the search and F10 runs it again, and the system still gets them: Alt+F4 closes the window.
#include "ui/win32/dialogs_wintest.h"

namespace epd::dialog_test {
namespace {

TEST_F(WineDialogsTest, SupplierSearchTakesSystemKeys) {
  MakeSupplierDirectory({{10, "Omega"}, {20, "Orion"}, {30, "Альфа"_cp}});
  HWND menu, params, sel = OpenSuppliersForLatinKeys(&menu, &params);
  if (sel == nullptr) {
    if (!HasFailure()) GTEST_SKIP() << "typing Latin letters needs a layout other than the Russian one";
    return;
  }
  HWND grid = FindChild(sel, L"grSel");
  HWND status = FindChild(sel, L"StatusBar1");
  Click(FindChild(sel, L"bAdd"));
  ASSERT_TRUE(WaitUntil([&] { return GridRows(grid).size() == 3; }));

  // Alt+letter types the letter, as the letter alone does.
  PressSystemKey(grid, 'O', true);
  ASSERT_TRUE(WaitUntil([&] { return StatusText(status) == L"O"; }));
  EXPECT_EQ(GridRows(grid), (std::vector<std::wstring>{L"Omega", L"Orion"}));
  PressSystemKey(grid, 'M', true);
  ASSERT_TRUE(WaitUntil([&] { return StatusText(status) == L"OM"; }));
  EXPECT_EQ(GridRows(grid), std::vector<std::wstring>{L"Omega"});

  // F10 changes nothing in the text but runs the search again, which now finds a new supplier.
  {
    auto table = epd::tables::Table::Open(base_ + "Price\\Sellers.dbf");
    table->Append();
    table->SetAsString("idSeller", "40");
    table->SetAsString("Seller", "Omsk");
    table->Post();
  }
  PressSystemKey(grid, VK_F10, false);
  ASSERT_TRUE(WaitUntil([&] { return GridRows(grid).size() == 2; }));
  EXPECT_EQ(GridRows(grid), (std::vector<std::wstring>{L"Omega", L"Omsk"}));
  EXPECT_EQ(StatusText(status), L"OM");
  EXPECT_EQ(TextOf(sel), L"Выбор поставщика");
  PressKey(grid, VK_ESCAPE);  // F10 let go opens the window menu's keyboard mode; Escape leaves it
  Shot("10-suppliers-system-keys");

  // Alt+F4 still closes the dialog, and only the dialog.
  PressSystemKey(grid, VK_F4, true);
  ASSERT_TRUE(host_.FormGone(sel));
  EXPECT_TRUE(::IsWindowEnabled(params));
  Click(FindChild(params, L"B_Cancel"));
  ASSERT_TRUE(host_.FormGone(params));
  CloseMenu(menu);
}

}  // namespace
}  // namespace epd::dialog_test
