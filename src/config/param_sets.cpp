#include "config/param_sets.h"

#include "config/mapping_editor.h"
#include "platform/text.h"

namespace epd::config {

std::string_view TForm_ParamSets::Caption() { return "Экспорт накладных"_cp; }

bool TForm_ParamSets::FormKeyDown(int key) {
  if (key != kVkEscape) return false;
  view_.Close();
  return true;
}

}  // namespace epd::config
