#pragma once

#include <string_view>

#include "export_epd.h"

// Message boxes: the error box (title "Error", one OK button) and the confirmation box (title
// "Confirm", Yes and No). Texts are code page 1251. A handler set through EPDSetMessageHandler
// takes every box; without one the system's own boxes are used (Windows: MessageBoxW owned by
// the host's active window; POSIX: the error on stderr, the question on the controlling terminal
// when there is one, otherwise answered No).
namespace epd::platform {

enum class MessageKind { kError = 0, kConfirm = 1 };

void ShowError(std::string_view text);
// True when the user answers Yes.
bool AskConfirmation(std::string_view text);

void SetMessageHandler(EPDMessageHandler handler, void* user);

namespace detail {
// The system's own box; implemented once per platform.
bool SystemMessageBox(MessageKind kind, std::string_view title, std::string_view text);
}  // namespace detail

}  // namespace epd::platform
