// The supplier list dialog under any sequence of key presses and button clicks, in either
// keyboard layout, over a small supplier directory whose names hold the LIKE signs, quotes,
// Cyrillic and blanks; and any search text at all bound as the :Pattern of both search
// statements.
//
// What must hold: no error box (the tables are sound); the key map only appends (Backspace only
// takes away), and never an apostrophe, "%" or "_", under any layout name; the grid after a
// search key shows exactly the rows whose upper-cased Seller holds the search text; the list
// never holds a supplier twice; and any text, whatever its bytes, matches itself literally.
//
// Input: byte 0 chooses the layout (bit 0: Russian); then two-byte commands up to a 0xFF byte:
// a key code (0 to 511) or a click; the bytes after the 0xFF are the free search text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/test_support.h"
#include "platform/text.h"
#include "sql/query.h"
#include "suppliers/fake_sel_view.h"
#include "suppliers/search_keys.h"
#include "suppliers/sel_form.h"
#include "suppliers/sel_statements.h"
#include "suppliers/supplier_tables.h"
#include "tables/field_defs.h"
#include "tables/table.h"

using namespace epd;
using epd::operator""_cp;

namespace {

using View = suppliers::FakeSelView;

int boxes = 0;
int EPD_STDCALL CountBox(int, const char*, const char*, void*) {
  ++boxes;
  return 0;
}

void Check(bool ok) {
  if (!ok) std::abort();
}

// Names that a search could trip over: LIKE's signs, the escape, both quotes, Cyrillic in both
// cases with Ё, blanks inside and at the ends, and one longer than the list's 30 characters.
const std::vector<std::string>& Names() {
  static const std::vector<std::string> names = {"5% OFF",
                                                 "5X OFF",
                                                 "A_B",
                                                 "AXB",
                                                 "C\\D",
                                                 "it's",
                                                 "\"Q\" LTD",
                                                 "ООО «Альфа»"_cp,
                                                 "ёлка"_cp,
                                                 "ЁЖИК"_cp,
                                                 "Бета-Фарм"_cp,
                                                 "  lead blank",
                                                 "x",
                                                 "ФИРМА С ОЧЕНЬ ДЛИННЫМ НАЗВАНИЕМ ДЛЯ ПРОВЕРКИ"_cp,
                                                 "a;b,c.d[e]f",
                                                 "/-0 9"};
  return names;
}

// Rows of `path` whose upper-cased Seller holds `text` (all rows for an empty text), as the
// engine keeps them: character values without trailing blanks.
std::vector<std::string> Expected(const std::string& path, const std::string& text, const std::string& excluded) {
  std::vector<std::string> listed_ids;
  if (!excluded.empty()) {
    auto list = tables::Table::Open(excluded);
    for (list->First(); !list->Eof(); list->Next()) listed_ids.push_back(list->AsString("idSeller"));
  }
  std::vector<std::string> out;
  auto table = tables::Table::Open(path);
  for (table->First(); !table->Eof(); table->Next()) {
    const std::string seller = table->AsString("Seller");
    if (seller.empty()) continue;  // a blank name is null: LIKE takes no side
    if (std::find(listed_ids.begin(), listed_ids.end(), table->AsString("idSeller")) != listed_ids.end()) continue;
    if (platform::UpperCp1251(seller).find(text) != std::string::npos) out.push_back(seller);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> Sorted(std::vector<std::string> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static testing_support::TempDir dir;
  static bool ready = false;
  const std::string base = dir.path();
  const std::string data_dir = base + "DATA\\";
  const std::string directory = base + "Price\\Sellers.dbf";
  const std::string list = data_dir + "SelList.dbf";
  if (!ready) {
    platform::MakeDirectory(base + "DATA");
    platform::MakeDirectory(base + "Price");
    tables::FieldDefs defs;
    defs.Add("idSeller", tables::FieldType::kInteger);
    defs.Add("Seller", tables::FieldType::kString, 60);
    tables::CreateTable(directory, defs);
    auto table = tables::Table::Open(directory);
    int id = 0;
    for (const std::string& name : Names()) {
      table->Append();
      table->SetAsString("idSeller", std::to_string(++id));
      table->SetAsString("Seller", name);
      table->Post();
    }
    platform::SetMessageHandler(&CountBox, nullptr);
    ready = true;
  }
  if (size == 0) return 0;
  if (platform::FileExists(list)) platform::RemoveFile(list);
  ::setenv("EPD_KEYBOARD_LAYOUT", (data[0] & 1) ? "00000419" : "00000409", 1);

  std::size_t pos = 1;
  std::vector<std::pair<std::uint8_t, std::uint8_t>> commands;
  while (pos + 1 < size && data[pos] != 0xFF && commands.size() < 24) {
    commands.emplace_back(data[pos], data[pos + 1]);
    pos += 2;
  }
  while (pos < size && data[pos] != 0xFF) ++pos;
  const std::string free_text =
      pos < size ? std::string(reinterpret_cast<const char*>(data) + pos + 1, size - pos - 1) : std::string();

  // The key map itself, from any text and under any layout name: Backspace takes one character
  // away, every other key only appends, and never an apostrophe, "%" or "_".
  for (int key = 0; key < 512; ++key) {
    const std::string next = suppliers::NextSearchText(key, free_text, free_text);
    if (key == suppliers::kVkBack) {
      Check(next == free_text.substr(0, free_text.empty() ? 0 : free_text.size() - 1));
      continue;
    }
    Check(next.size() >= free_text.size() && next.compare(0, free_text.size(), free_text) == 0);
    Check(next.find_first_of("'%_", free_text.size()) == std::string::npos);
  }

  // Any text bound as :Pattern matches itself, character for character.
  {
    const suppliers::SelPlaces places{data_dir, base, "SelList.dbf"};
    sql::Query q;
    q.SetSql(suppliers::ChoiceSearchStatement(places));
    suppliers::SupplierTables(data_dir).CreateSelList("SelList.dbf");
    q.SetParam(suppliers::kPatternParam, suppliers::SearchPattern(free_text));
    q.Open();
    std::vector<std::string> found;
    for (q.First(); !q.Eof(); q.Next()) found.push_back(q.AsString("Seller"));
    Check(Sorted(found) == Expected(directory, free_text, list));
  }

  boxes = 0;
  View view;
  suppliers::TSelForm form({data_dir, base, "SelList.dbf"}, view);
  form.FormShow();
  for (const auto& [op, arg] : commands) {
    switch (op % 8) {
      case 5: form.bAddClick(); break;
      case 6: form.bDeleteClick(); break;
      case 7: view.current = static_cast<int>(arg % (view.rows.size() + 1)) - 1; break;
      default: {
        const int key = arg | ((op & 8) << 5);
        const bool search = suppliers::IsSearchKey(key);
        form.FormKeyDown(key);
        Check(view.updating == 0);
        if (search) {
          const bool list_mode = form.mode() == suppliers::TSelForm::Mode::kList;
          Check(Sorted(view.rows) ==
                (list_mode ? Expected(list, form.search_text(), "") : Expected(directory, form.search_text(), list)));
        }
      }
    }
    Check(boxes == 0 && !view.closed);
    Check(view.status == form.search_text());
    Check(form.search_text().find_first_of("'%_") == std::string::npos);
    Check(view.caption ==
          (form.mode() == suppliers::TSelForm::Mode::kList ? suppliers::ListCaption() : suppliers::ChoiceCaption()));
    Check(view.delete_visible == (form.mode() == suppliers::TSelForm::Mode::kList));
  }
  form.FormClose();

  // Adding only ever offers suppliers not yet listed.
  std::map<std::int32_t, int> listed;
  auto table = tables::Table::Open(list);
  for (table->First(); !table->Eof(); table->Next()) Check(++listed[table->AsInteger("idSeller")] == 1);
  return 0;
}
