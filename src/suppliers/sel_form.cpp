#include "suppliers/sel_form.h"

#include "platform/error.h"
#include "platform/keyboard.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "suppliers/search_keys.h"
#include "suppliers/supplier_tables.h"

namespace epd::suppliers {

std::string_view ListCaption() { return "Список поставщиков"_cp; }
std::string_view ChoiceCaption() { return "Выбор поставщика"_cp; }

TSelForm::TSelForm(SelPlaces places, TSelFormView& view) : places_(std::move(places)), view_(view) {}

TSelForm::~TSelForm() = default;

void TSelForm::FormShow() {
  try {
    ShowingSteps();
  } catch (const Error& e) {
    platform::ShowError(e.what());
  }
}

void TSelForm::ShowingSteps() {
  if (!SupplierTables(places_.data_directory).CreateSelList(places_.list_file_name)) {
    platform::ShowError("Не удалось создать файл поставщиков"_cp);
    view_.Close();
    return;
  }
  mode_ = Mode::kList;
  view_.SetCaption(ListCaption());
  OpenStatement(ListStatement(places_), std::nullopt);
  view_.SetDeleteVisible(true);
}

void TSelForm::bAddClick() {
  try {
    AddSteps();
  } catch (const Error& e) {
    platform::ShowError(e.what());
  }
}

void TSelForm::AddSteps() {
  SetSearchText(std::string());
  if (mode_ == Mode::kList) {
    CloseQuery();
    OpenStatement(ChoiceStatement(places_), std::nullopt);
    view_.SetCaption(ChoiceCaption());
    view_.SetDeleteVisible(false);
    mode_ = Mode::kChoice;
    return;
  }
  if (!qSel_.IsOpen() || qSel_.RecordCount() == 0) return;
  MoveToCurrentRow();
  std::int32_t id = qSel_.AsInteger("idSeller");
  std::string seller = qSel_.AsString("Seller");
  CloseQuery();
  Execute(AddStatement(places_), id, seller);
  ShowingSteps();
}

void TSelForm::bDeleteClick() {
  try {
    SetSearchText(std::string());
    if (!qSel_.IsOpen() || qSel_.RecordCount() == 0) return;
    std::string statement = statement_;
    std::optional<std::string> pattern = pattern_;
    MoveToCurrentRow();
    std::int32_t id = qSel_.AsInteger("idSeller");
    CloseQuery();
    Execute(RemoveStatement(places_), id, std::nullopt);
    OpenStatement(std::move(statement), std::move(pattern));
  } catch (const Error& e) {
    platform::ShowError(e.what());
  }
}

void TSelForm::FormKeyDown(int key) {
  if (IsSearchKey(key)) {
    view_.BeginUpdate();
    try {
      try {
        SetSearchText(NextSearchText(key, platform::KeyboardLayoutName(), search_text_));
      } catch (...) {
        // The text stays as it was; the search still runs.
      }
      CloseQuery();
      OpenStatement(mode_ == Mode::kList ? ListSearchStatement(places_) : ChoiceSearchStatement(places_),
                    SearchPattern(search_text_));
    } catch (const Error& e) {
      view_.EndUpdate();
      platform::ShowError(e.what());
      return;
    }
    view_.EndUpdate();
    view_.FocusGrid();
  } else if (key == kVkDelete) {
    SetSearchText(std::string());
    view_.BeginUpdate();
    try {
      if (mode_ == Mode::kList) {
        ShowingSteps();
      } else {
        mode_ = Mode::kList;
        AddSteps();
      }
    } catch (const Error& e) {
      view_.EndUpdate();
      platform::ShowError(e.what());
      return;
    }
    view_.EndUpdate();
    view_.FocusGrid();
  }
}

void TSelForm::FormClose() { CloseQuery(); }

void TSelForm::MoveToCurrentRow() {
  // The grid's current row is the query's; without one the query stays on its first row.
  const int row = view_.CurrentRow();
  if (row >= 0 && row < qSel_.RecordCount()) qSel_.MoveTo(row);
}

void TSelForm::SetSearchText(std::string text) {
  search_text_ = std::move(text);
  view_.SetSearchText(search_text_);
}

void TSelForm::OpenStatement(std::string sql, std::optional<std::string> pattern) {
  CloseQuery();
  statement_ = std::move(sql);
  pattern_ = std::move(pattern);
  qSel_.SetSql(statement_);
  qSel_.ClearParams();
  if (pattern_) qSel_.SetParam(kPatternParam, *pattern_);
  qSel_.Open();
  std::vector<std::string> sellers;
  sellers.reserve(static_cast<std::size_t>(qSel_.RecordCount()));
  for (qSel_.First(); !qSel_.Eof(); qSel_.Next()) sellers.push_back(qSel_.AsString("Seller"));
  qSel_.First();
  view_.ShowRows(sellers);
}

void TSelForm::CloseQuery() {
  if (qSel_.IsOpen()) qSel_.Close();
  view_.ShowRows({});
}

void TSelForm::Execute(const std::string& sql, std::optional<std::int32_t> id, std::optional<std::string> seller) {
  sql::Query statement;
  statement.SetSql(sql);
  if (id) statement.SetParam("idSeller", *id);
  if (seller) statement.SetParam("Seller", *seller);
  statement.ExecSql();
}

}  // namespace epd::suppliers
