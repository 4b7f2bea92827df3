#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sql/query.h"
#include "suppliers/sel_statements.h"

// The supplier list dialog TSelForm: shows the suppliers on the list (list mode) or the
// suppliers of the host's supplier directory not yet listed (choice mode), adds the one chosen,
// removes listed ones, and narrows whichever list is shown as the user types. Every change goes
// to the table at once. TSelFormView is the window: a one-column grid of Seller, a status bar
// panel with the search text, the buttons "Добавить" and "Удалить".
namespace epd::suppliers {

class TSelFormView {
 public:
  virtual ~TSelFormView() = default;

  virtual void SetCaption(std::string_view caption) = 0;
  virtual void SetDeleteVisible(bool visible) = 0;
  virtual void SetSearchText(std::string_view text) = 0;
  // The grid's rows (Seller of each row of the query, code page 1251); the first is current.
  virtual void ShowRows(const std::vector<std::string>& sellers) = 0;
  // The current row of the grid, -1 when it has none.
  virtual int CurrentRow() const = 0;
  // Stop and let the grid repaint.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void FocusGrid() = 0;
  // Ends the modal showing.
  virtual void Close() = 0;
};

class TSelForm {
 public:
  enum class Mode { kList, kChoice };

  // `places.list_file_name` is the ListFileName the opener sets ("SelList.dbf").
  TSelForm(SelPlaces places, TSelFormView& view);
  ~TSelForm();

  // Showing steps: make sure the list table exists, then list mode with the whole list.
  void FormShow();
  // "Добавить": list mode switches to choice mode; choice mode adds the current row's supplier
  // and returns to the whole list.
  void bAddClick();
  // "Удалить": removes the current row's supplier and shows the list as it was narrowed.
  void bDeleteClick();
  // Every key-down reaches the window before the focused control: search keys narrow the
  // shown list, Delete resets the search. The key is never swallowed.
  void FormKeyDown(int key);
  // Closing by the close box.
  void FormClose();

  Mode mode() const { return mode_; }
  const std::string& search_text() const { return search_text_; }
  const SelPlaces& places() const { return places_; }
  // The statement of qSel ("" before the first).
  const std::string& Statement() const { return statement_; }
  bool IsOpen() const { return qSel_.IsOpen(); }

 private:
  void ShowingSteps();
  void AddSteps();
  void SetSearchText(std::string text);
  // Replaces qSel's statement and opens it; the pattern, when given, is bound to :Pattern.
  void OpenStatement(std::string sql, std::optional<std::string> pattern);
  void CloseQuery();
  void MoveToCurrentRow();
  // Runs add or remove as a statement of its own.
  void Execute(const std::string& sql, std::optional<std::int32_t> id, std::optional<std::string> seller);

  SelPlaces places_;
  TSelFormView& view_;
  Mode mode_ = Mode::kList;
  std::string search_text_;
  sql::Query qSel_;
  std::string statement_;
  std::optional<std::string> pattern_;
};

std::string_view ListCaption();    // "Список поставщиков"
std::string_view ChoiceCaption();  // "Выбор поставщика"

}  // namespace epd::suppliers
