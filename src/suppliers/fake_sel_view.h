#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "suppliers/sel_form.h"

namespace epd::suppliers {

// The supplier dialog's window for tests and fuzzing: it keeps what the form shows and counts
// what the form asks of it.
class FakeSelView : public TSelFormView {
 public:
  void SetCaption(std::string_view text) override { caption = text; }
  void SetDeleteVisible(bool visible) override { delete_visible = visible; }
  void SetSearchText(std::string_view text) override { status = text; }
  void ShowRows(const std::vector<std::string>& sellers) override {
    rows = sellers;
    current = sellers.empty() ? -1 : 0;
    ++shows;
  }
  int CurrentRow() const override { return current; }
  void BeginUpdate() override { ++updating; }
  void EndUpdate() override { --updating; }
  void FocusGrid() override { ++focused; }
  void Close() override { closed = true; }

  std::string caption, status;
  bool delete_visible = false;
  std::vector<std::string> rows;
  int current = -1;
  int shows = 0;
  int updating = 0;
  int focused = 0;
  bool closed = false;
};

}  // namespace epd::suppliers
