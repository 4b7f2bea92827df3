#include "suppliers/sel_form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/test_support.h"
#include "platform/text.h"
#include "suppliers/fake_sel_view.h"
#include "suppliers/search_keys.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

namespace epd::suppliers {
namespace {

using testing_support::TempDir;

using testing_support::ErrorBoxes;

using Rows = std::vector<std::string>;

class SelFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = dir_.path();
    platform::MakeDirectory(base_ + "DATA");
    platform::MakeDirectory(base_ + "Price");
    SetLayout("00000409");
  }
  void TearDown() override { ::unsetenv("EPD_KEYBOARD_LAYOUT"); }

  static void SetLayout(const char* name) { ::setenv("EPD_KEYBOARD_LAYOUT", name, 1); }

  SelPlaces Places() const { return {base_ + "DATA\\", base_, "SelList.dbf"}; }
  std::string ListPath() const { return base_ + "DATA\\SelList.dbf"; }

  // The host's supplier directory, with a column of its own besides the two the dialog uses.
  void MakeSupplierDirectory(const std::vector<std::pair<int, std::string>>& suppliers) {
    tables::FieldDefs defs;
    defs.Add("idSeller", tables::FieldType::kInteger);
    defs.Add("Seller", tables::FieldType::kString, 60);
    defs.Add("City", tables::FieldType::kString, 20);
    const std::string path = base_ + "Price\\Sellers.dbf";
    tables::CreateTable(path, defs);
    auto table = tables::Table::Open(path);
    for (const auto& [id, name] : suppliers) {
      table->Append();
      table->SetAsString("idSeller", std::to_string(id));
      table->SetAsString("Seller", name);
      table->SetAsString("City", "X");
      table->Post();
    }
  }

  std::vector<std::pair<int, std::string>> Listed() const {
    std::vector<std::pair<int, std::string>> rows;
    auto table = tables::Table::Open(ListPath());
    for (table->First(); !table->Eof(); table->Next())
      rows.emplace_back(table->AsInteger("idSeller"), table->AsString("Seller"));
    return rows;
  }

  // Adds the supplier of this name from the choice list.
  void Add(TSelForm& form, FakeSelView& view, const std::string& name) {
    if (form.mode() == TSelForm::Mode::kList) form.bAddClick();
    ASSERT_EQ(form.mode(), TSelForm::Mode::kChoice);
    auto at = std::find(view.rows.begin(), view.rows.end(), name);
    ASSERT_NE(at, view.rows.end()) << name;
    view.current = static_cast<int>(at - view.rows.begin());
    form.bAddClick();
  }

  void Type(TSelForm& form, std::initializer_list<int> keys) {
    for (int key : keys) form.FormKeyDown(key);
  }

  TempDir dir_;
  std::string base_;
};

TEST_F(SelFormTest, FirstShowingCreatesTheListTableAndShowsItEmpty) {
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();
  EXPECT_TRUE(platform::FileExists(ListPath()));
  EXPECT_EQ(view.caption, "Список поставщиков"_cp);
  EXPECT_TRUE(view.delete_visible);
  EXPECT_TRUE(view.rows.empty());
  EXPECT_EQ(form.mode(), TSelForm::Mode::kList);
  EXPECT_EQ(form.Statement(), " SELECT * FROM \"" + ListPath() + "\" ORDER BY Seller ");
  auto table = tables::Table::Open(ListPath());
  EXPECT_EQ(table->FieldCount(), 2);
  EXPECT_EQ(table->FieldName(0), "idSeller");
  EXPECT_EQ(table->FieldName(1), "Seller");
}

TEST_F(SelFormTest, AddingGoesThroughChoiceModeAndBackToTheWholeList) {
  MakeSupplierDirectory({{10, "Фармация"_cp}, {20, "Альфа"_cp}, {30, "Бета"_cp}, {40, "Вектор"_cp}});
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();

  form.bAddClick();
  EXPECT_EQ(form.mode(), TSelForm::Mode::kChoice);
  EXPECT_EQ(view.caption, "Выбор поставщика"_cp);
  EXPECT_FALSE(view.delete_visible);
  EXPECT_EQ(view.rows, (Rows{"Альфа"_cp, "Бета"_cp, "Вектор"_cp, "Фармация"_cp}));

  view.current = 2;
  form.bAddClick();
  EXPECT_EQ(form.mode(), TSelForm::Mode::kList);
  EXPECT_EQ(view.caption, "Список поставщиков"_cp);
  EXPECT_TRUE(view.delete_visible);
  EXPECT_EQ(view.rows, Rows{"Вектор"_cp});
  EXPECT_EQ(Listed(), (std::vector<std::pair<int, std::string>>{{40, "Вектор"_cp}}));

  Add(form, view, "Альфа"_cp);
  EXPECT_EQ(view.rows, (Rows{"Альфа"_cp, "Вектор"_cp}));  // in Seller order
  form.bAddClick();
  EXPECT_EQ(view.rows, (Rows{"Бета"_cp, "Фармация"_cp}));  // listed suppliers are never offered
}

TEST_F(SelFormTest, TypingNarrowsTheShownListByCyrillicCapitals) {
  MakeSupplierDirectory({{1, "Альфа"_cp}, {2, "Бета"_cp}, {3, "Вектор"_cp}, {4, "ёлка"_cp}});
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();
  for (const char* name : {"Альфа", "Бета", "Вектор"}) Add(form, view, platform::Utf8ToCp1251(name));
  SetLayout("00000419");

  Type(form, {'F'});  // А
  EXPECT_EQ(form.search_text(), "А"_cp);
  EXPECT_EQ(view.status, "А"_cp);
  EXPECT_EQ(view.rows, (Rows{"Альфа"_cp, "Бета"_cp}));
  EXPECT_EQ(form.mode(), TSelForm::Mode::kList);
  Type(form, {'K'});  // Л
  EXPECT_EQ(view.rows, Rows{"Альфа"_cp});
  Type(form, {kVkBack, kVkBack});
  EXPECT_EQ(form.search_text(), "");
  EXPECT_EQ(view.rows.size(), 3u);
  Type(form, {kVkBack});  // on an empty text: the search runs with it and shows everything
  EXPECT_EQ(view.rows.size(), 3u);
  EXPECT_EQ(view.updating, 0);
  EXPECT_EQ(view.focused, 5);

  // In choice mode, what is typed never brings back a listed supplier.
  form.bAddClick();
  Type(form, {192});  // Ё: the directory's lower-case ё is found through UPPER
  EXPECT_EQ(view.rows, Rows{"ёлка"_cp});
  Type(form, {kVkBack, 'T'});  // Е: only ёлка would match if Ё folded to Е; Бета is listed
  EXPECT_EQ(view.rows, Rows{});
  EXPECT_EQ(form.mode(), TSelForm::Mode::kChoice);
}

TEST_F(SelFormTest, LatinLayoutSignsAndKeysThatChangeNothingStillRunTheSearch) {
  MakeSupplierDirectory({{1, "ALPHA \"NORD\""}, {2, "alpha-2"}, {3, "Beta 3/4"}});
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();
  form.bAddClick();
  Type(form, {222});  // the apostrophe key gives a double quote; the statement stays valid
  EXPECT_EQ(form.search_text(), "\"");
  EXPECT_EQ(view.rows, Rows{"ALPHA \"NORD\""});
  Type(form, {kVkBack, 'A', 189});
  EXPECT_EQ(view.rows, Rows{"alpha-2"});
  const int shows = view.shows;
  Type(form, {96, 112});  // keypad 0 and F1: no change, but the search runs again
  EXPECT_EQ(form.search_text(), "A-");
  EXPECT_GT(view.shows, shows);
  EXPECT_EQ(view.rows, Rows{"alpha-2"});
  Type(form, {kVkBack, kVkBack, '3', kVkSpace, 111});
  EXPECT_EQ(form.search_text(), "3 /");
  EXPECT_EQ(view.rows, Rows{});
  Type(form, {kVkBack, kVkBack});
  EXPECT_EQ(view.rows, Rows{"Beta 3/4"});
}

TEST_F(SelFormTest, KeysThatAreNotSearchKeysAreLeftAlone) {
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();
  const int shows = view.shows;
  for (int key : {13, 27, 37, 38, 39, 40, 9, 45, 33, 34}) form.FormKeyDown(key);
  EXPECT_EQ(view.shows, shows);
  EXPECT_EQ(view.focused, 0);
  EXPECT_EQ(form.Statement(), " SELECT * FROM \"" + ListPath() + "\" ORDER BY Seller ");
}

TEST_F(SelFormTest, RemovingAfterASearchKeepsTheOldNarrowingButClearsTheText) {
  MakeSupplierDirectory({{1, "Альфа"_cp}, {2, "Бета"_cp}, {3, "Вектор"_cp}, {4, "Гамма"_cp}});
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();
  for (const char* name : {"Альфа", "Бета", "Вектор", "Гамма"}) Add(form, view, platform::Utf8ToCp1251(name));
  SetLayout("00000419");
  Type(form, {'F'});  // А: Альфа, Бета, Гамма
  ASSERT_EQ(view.rows, (Rows{"Альфа"_cp, "Бета"_cp, "Гамма"_cp}));
  const std::string narrowed = form.Statement();
  view.current = 1;
  form.bDeleteClick();
  EXPECT_EQ(form.search_text(), "");
  EXPECT_EQ(view.status, "");
  EXPECT_EQ(form.Statement(), narrowed);
  EXPECT_EQ(view.rows, (Rows{"Альфа"_cp, "Гамма"_cp}));
  EXPECT_EQ(view.current, 0);
  EXPECT_EQ(Listed().size(), 3u);

  // The Delete key brings back the whole list.
  form.FormKeyDown(kVkDelete);
  EXPECT_EQ(view.rows, (Rows{"Альфа"_cp, "Вектор"_cp, "Гамма"_cp}));
  EXPECT_EQ(view.updating, 0);
}

TEST_F(SelFormTest, RemovingTakesEveryRowOfTheSupplierWithoutAsking) {
  ASSERT_TRUE(SupplierTables(base_ + "DATA\\").CreateSelList("SelList.dbf"));
  {
    auto table = tables::Table::Open(ListPath());
    for (auto [id, name] : {std::pair{7, "A"}, std::pair{8, "B"}, std::pair{7, "A again"}}) {
      table->Append();
      table->SetAsString("idSeller", std::to_string(id));
      table->SetAsString("Seller", name);
      table->Post();
    }
  }
  ErrorBoxes boxes;
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();
  ASSERT_EQ(view.rows, (Rows{"A", "A again", "B"}));
  form.bDeleteClick();
  EXPECT_EQ(view.rows, Rows{"B"});
  EXPECT_EQ(Listed(), (std::vector<std::pair<int, std::string>>{{8, "B"}}));
  form.bDeleteClick();
  form.bDeleteClick();  // an empty list: nothing happens
  EXPECT_TRUE(view.rows.empty());
  EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(SelFormTest, TheDeleteKeyInChoiceModeShowsTheWholeChoiceList) {
  MakeSupplierDirectory({{1, "Alpha"}, {2, "Beta"}, {3, "Gamma"}});
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();
  form.bAddClick();
  Type(form, {'B'});
  ASSERT_EQ(view.rows, Rows{"Beta"});
  form.FormKeyDown(kVkDelete);
  EXPECT_EQ(form.mode(), TSelForm::Mode::kChoice);
  EXPECT_EQ(form.search_text(), "");
  EXPECT_EQ(view.rows, (Rows{"Alpha", "Beta", "Gamma"}));
  EXPECT_EQ(view.caption, "Выбор поставщика"_cp);
  EXPECT_EQ(view.updating, 0);

  // "Добавить" with nothing to choose clears the text and keeps the grid as it was.
  Type(form, {'X'});
  ASSERT_TRUE(view.rows.empty());
  form.bAddClick();
  EXPECT_EQ(form.mode(), TSelForm::Mode::kChoice);
  EXPECT_EQ(form.search_text(), "");
  EXPECT_TRUE(view.rows.empty());
  EXPECT_TRUE(Listed().empty());
}

TEST_F(SelFormTest, WithoutTheSupplierDirectoryChoiceModeFailsWithTheEnginesTextAndStaysInListMode) {
  ErrorBoxes boxes;
  FakeSelView view;
  TSelForm form(Places(), view);
  form.FormShow();
  form.bAddClick();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_NE(boxes.texts[0].find("Sellers.dbf"), std::string::npos) << boxes.texts[0];
  EXPECT_EQ(form.mode(), TSelForm::Mode::kList);
  EXPECT_EQ(view.caption, "Список поставщиков"_cp);
  EXPECT_TRUE(view.delete_visible);
  EXPECT_TRUE(view.rows.empty());
  EXPECT_FALSE(view.closed);

  // The Delete key's reset in list mode only needs the list table.
  form.FormKeyDown(kVkDelete);
  EXPECT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(view.updating, 0);
}

TEST_F(SelFormTest, AListTableThatCannotBeCreatedClosesTheDialog) {
  ErrorBoxes boxes;
  FakeSelView view;
  TSelForm form({base_ + "NOWHERE\\", base_, "SelList.dbf"}, view);
  form.FormShow();
  ASSERT_EQ(boxes.texts.size(), 1u);
  EXPECT_EQ(boxes.texts[0], "Не удалось создать файл поставщиков"_cp);
  EXPECT_TRUE(view.closed);
  EXPECT_EQ(view.caption, "");
}

TEST_F(SelFormTest, SearchPatternsMatchTheirCharactersLiterally) {
  ASSERT_TRUE(SupplierTables(base_ + "DATA\\").CreateSelList("SelList.dbf"));
  {
    auto table = tables::Table::Open(ListPath());
    int id = 0;
    for (const char* name : {"5% OFF", "5X OFF", "A_B", "AXB", "C\\D", "it's"}) {
      table->Append();
      table->SetAsString("idSeller", std::to_string(++id));
      table->SetAsString("Seller", name);
      table->Post();
    }
  }
  struct Case {
    const char* text;
    Rows rows;
  } cases[] = {{"5%", {"5% OFF"}}, {"_", {"A_B"}}, {"\\", {"C\\D"}}, {"'S", {"it's"}}, {"", {}}};
  for (const Case& c : cases) {
    sql::Query q;
    q.SetSql(ListSearchStatement(Places()));
    q.SetParam(kPatternParam, SearchPattern(c.text));
    q.Open();
    Rows found;
    for (q.First(); !q.Eof(); q.Next()) found.push_back(q.AsString("Seller"));
    if (*c.text == 0) {
      EXPECT_EQ(found.size(), 6u);
    } else {
      EXPECT_EQ(found, c.rows) << c.text;
    }
  }
}

}  // namespace
}  // namespace epd::suppliers
