#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/field_catalogue.h"

// The two field mapping editors, THeaderForm (the 36 header fields) and TBodyForm (the 37 line
// fields): one row per field with a name box, a length box and a type box, loaded from the
// field sections of export_epd.ini when shown and written back only by "Сохранить".
//
// The classes hold the decisions; what the user sees is a MappingEditorView (the Win32 window,
// or a fake in tests). Rows are numbered in the editor's order, the order of loading and saving;
// where a row appears on screen is its catalogue field's editor_row.
namespace epd::config {

class MappingEditorView {
 public:
  virtual ~MappingEditorView() = default;

  virtual std::string NameText(int row) const = 0;
  virtual std::string LengthText(int row) const = 0;
  virtual std::string TypeText(int row) const = 0;
  // Fills a row's three boxes. Never runs the row's type change handler.
  virtual void SetRow(int row, std::string_view name, std::string_view length, std::string_view type) = 0;
  virtual void SetLengthEnabled(int row, bool enabled) = 0;
  // Ends the modal showing.
  virtual void Close() = 0;
};

class TMappingForm {
 public:
  TMappingForm(FieldTable table, std::string data_directory, MappingEditorView& view);
  virtual ~TMappingForm() = default;

  // The window caption.
  std::string_view Caption() const;
  // The catalogue fields of the rows, in the editor's order.
  const std::vector<const CatalogueField*>& Rows() const { return rows_; }
  int RowCount() const { return static_cast<int>(rows_.size()); }

  // Names of a row's controls and of its type change handler: "InvDtNam", "InvDtLen",
  // "InvDtType", "InvDtTypeChange".
  std::string NameControl(int row) const;
  std::string LengthControl(int row) const;
  std::string TypeControl(int row) const;
  std::string TypeChangeHandler(int row) const;
  // The row whose control or handler bears this name, or -1.
  int RowOfName(std::string_view control_or_handler) const;

  // Load every row from the settings file.
  void FormShow();
  // The type change handler every row shares (idMsgTypeChange, InvDtTypeChange, ...): the
  // length box is enabled exactly when the type text is "ftString", letter case included.
  void TypeChange(int row);
  // Runs the handler named like "InvDtTypeChange"; false when no row has it.
  bool RunTypeChangeHandler(std::string_view handler);
  // "Сохранить": every row, in the editor's order, then close. A refused write shows its error
  // and leaves the dialog open.
  void bSaveClick();
  // "Закрыть".
  void bCloseClick();
  // Esc closes without writing, wherever the focus is. True when the key was taken.
  bool FormKeyDown(int key);

 private:
  FieldTable table_;
  std::string data_directory_;
  MappingEditorView& view_;
  std::vector<const CatalogueField*> rows_;
};

class THeaderForm : public TMappingForm {
 public:
  THeaderForm(std::string data_directory, MappingEditorView& view)
      : TMappingForm(FieldTable::kHeader, std::move(data_directory), view) {}
};

class TBodyForm : public TMappingForm {
 public:
  TBodyForm(std::string data_directory, MappingEditorView& view)
      : TMappingForm(FieldTable::kLine, std::move(data_directory), view) {}
};

inline constexpr int kVkEscape = 0x1B;

}  // namespace epd::config
