#include "platform/messages.h"

#include <string>

namespace epd::platform {
namespace {

struct Handler {
  EPDMessageHandler function = nullptr;
  void* user = nullptr;
};

Handler& CurrentHandler() {
  static Handler handler;
  return handler;
}

bool Show(MessageKind kind, std::string_view text) {
  const char* title = kind == MessageKind::kError ? "Error" : "Confirm";
  const Handler& h = CurrentHandler();
  if (h.function != nullptr) {
    std::string copy(text);
    return h.function(static_cast<int>(kind), title, copy.c_str(), h.user) != 0;
  }
  return detail::SystemMessageBox(kind, title, text);
}

}  // namespace

void ShowError(std::string_view text) { Show(MessageKind::kError, text); }

bool AskConfirmation(std::string_view text) { return Show(MessageKind::kConfirm, text); }

void SetMessageHandler(EPDMessageHandler handler, void* user) { CurrentHandler() = Handler{handler, user}; }

}  // namespace epd::platform
