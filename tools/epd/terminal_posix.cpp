#include <fcntl.h>
#include <unistd.h>

#include "terminal.h"

namespace epd::tool {

void PrepareConsole() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv) { return {argv, argv + argc}; }

bool IsTerminal(std::FILE* stream) { return ::isatty(::fileno(stream)) != 0; }

void BinaryStdout() {}

std::optional<std::string> AskTerminal(const std::string& prompt) {
  int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> answer;
  if (::write(fd, prompt.data(), prompt.size()) == static_cast<ssize_t>(prompt.size())) {
    std::string line;
    char c;
    while (::read(fd, &c, 1) == 1 && c != '\n') line += c;
    answer = line;
  }
  ::close(fd);
  return answer;
}

}  // namespace epd::tool
