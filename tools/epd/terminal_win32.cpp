#include <fcntl.h>
#include <io.h>
#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <iostream>

#include "terminal.h"

namespace epd::tool {
namespace {

std::string ToUtf8(const wchar_t* text) {
  int n = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

void PrepareConsole() {
  ::SetConsoleOutputCP(CP_UTF8);
  ::SetConsoleCP(CP_UTF8);
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(ToUtf8(wide[i]));
  ::LocalFree(wide);
  return args;
}

bool IsTerminal(std::FILE* stream) { return ::_isatty(::_fileno(stream)) != 0; }

void BinaryStdout() {
  std::fflush(stdout);
  ::_setmode(::_fileno(stdout), _O_BINARY);
}

std::optional<std::string> AskTerminal(const std::string& prompt) {
  if (!IsTerminal(stdin)) return std::nullopt;
  std::fputs(prompt.c_str(), stderr);
  std::fflush(stderr);
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace epd::tool
