#include "config/mapping_editor.h"

#include "config/settings_file.h"
#include "config/settings_schema.h"
#include "platform/error.h"
#include "platform/messages.h"

namespace epd::config {
namespace {

constexpr std::string_view kNameEnding = "Nam";
constexpr std::string_view kLengthEnding = "Len";
constexpr std::string_view kTypeEnding = "Type";
constexpr std::string_view kHandlerEnding = "TypeChange";

}  // namespace

TMappingForm::TMappingForm(FieldTable table, std::string data_directory, MappingEditorView& view)
    : table_(table), data_directory_(std::move(data_directory)), view_(view) {
  if (table_ == FieldTable::kHeader) {
    for (const CatalogueField& f : HeaderFields()) rows_.push_back(&f);
  } else {
    for (int position : kLineEditorOrder) rows_.push_back(&kFieldCatalogue[position]);
  }
}

std::string_view TMappingForm::Caption() const {
  return table_ == FieldTable::kHeader ? "Настройка каталога экспорта накладных"_cp
                                       : "Настройка тела экспорта накладных"_cp;
}

std::string TMappingForm::NameControl(int row) const { return std::string(rows_[row]->control_stem) += kNameEnding; }
std::string TMappingForm::LengthControl(int row) const {
  return std::string(rows_[row]->control_stem) += kLengthEnding;
}
std::string TMappingForm::TypeControl(int row) const { return std::string(rows_[row]->control_stem) += kTypeEnding; }
std::string TMappingForm::TypeChangeHandler(int row) const {
  return std::string(rows_[row]->control_stem) += kHandlerEnding;
}

int TMappingForm::RowOfName(std::string_view name) const {
  for (int row = 0; row < RowCount(); ++row) {
    if (name == NameControl(row) || name == LengthControl(row) || name == TypeControl(row) ||
        name == TypeChangeHandler(row))
      return row;
  }
  return -1;
}

void TMappingForm::FormShow() {
  const SettingsFile settings = SettingsFile::InDataDirectory(data_directory_);
  for (int row = 0; row < RowCount(); ++row) {
    // The editors read each section under their own spelling of the key; the match ignores case.
    std::string_view section = rows_[row]->editor_form;
    std::string type = Read(settings, section, reads::editors::kType);
    view_.SetRow(row, Read(settings, section, reads::editors::kName), Read(settings, section, reads::editors::kLength),
                 type);
    view_.SetLengthEnabled(row, type == kTypeString);
  }
}

void TMappingForm::TypeChange(int row) { view_.SetLengthEnabled(row, view_.TypeText(row) == kTypeString); }

bool TMappingForm::RunTypeChangeHandler(std::string_view handler) {
  for (int row = 0; row < RowCount(); ++row) {
    if (handler == TypeChangeHandler(row)) {
      TypeChange(row);
      return true;
    }
  }
  return false;
}

void TMappingForm::bSaveClick() {
  try {
    SettingsFile settings = SettingsFile::InDataDirectory(data_directory_);
    for (int row = 0; row < RowCount(); ++row) {
      std::string_view section = rows_[row]->key;  // written in upper case
      Write(settings, section, keys::kName, view_.NameText(row));
      Write(settings, section, keys::kLength, view_.LengthText(row));
      Write(settings, section, keys::kType, view_.TypeText(row));
    }
  } catch (const Error& e) {
    platform::ShowError(e.what());
    return;
  }
  view_.Close();
}

void TMappingForm::bCloseClick() { view_.Close(); }

bool TMappingForm::FormKeyDown(int key) {
  if (key != kVkEscape) return false;
  view_.Close();
  return true;
}

}  // namespace epd::config
