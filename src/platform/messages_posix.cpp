#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/codepage.h"
#include "platform/messages.h"

namespace epd::platform::detail {

bool SystemMessageBox(MessageKind kind, std::string_view title, std::string_view text) {
  std::string utf8 = Cp1251ToUtf8(text);
  if (kind == MessageKind::kError) {
    std::fprintf(stderr, "%.*s: %s\n", static_cast<int>(title.size()), title.data(), utf8.c_str());
    return true;
  }
  int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;  // nobody to ask: the safe answer
  std::string prompt = utf8 + " [y/N] ";
  bool yes = false;
  if (::write(fd, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size())) {
    char answer[64] = {};
    ssize_t n = ::read(fd, answer, sizeof answer - 1);
    std::string a(answer, n > 0 ? static_cast<std::size_t>(n) : 0);
    // y, yes, д, да (UTF-8) mean Yes
    yes = !a.empty() && (a[0] == 'y' || a[0] == 'Y' || a.rfind("\xD0\xB4", 0) == 0 || a.rfind("\xD0\x94", 0) == 0);
  }
  ::close(fd);
  return yes;
}

}  // namespace epd::platform::detail
