#include <windows.h>

#include "platform/codepage.h"
#include "platform/messages.h"

namespace epd::platform::detail {

bool SystemMessageBox(MessageKind kind, std::string_view title, std::string_view text) {
  std::u16string wtext = Cp1251ToUtf16(text);
  std::u16string wtitle = Cp1251ToUtf16(title);
  UINT style = kind == MessageKind::kError ? (MB_OK | MB_ICONERROR) : (MB_YESNO | MB_ICONQUESTION);
  int answer = ::MessageBoxW(::GetActiveWindow(), reinterpret_cast<LPCWSTR>(wtext.c_str()),
                             reinterpret_cast<LPCWSTR>(wtitle.c_str()), style | MB_TASKMODAL);
  return kind == MessageKind::kError ? true : answer == IDYES;
}

}  // namespace epd::platform::detail
