#include "cli_support.h"

#include <cstdio>
#include <filesystem>

#include "export_epd.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "terminal.h"

namespace epd::tool {

std::string ToCp1251(const std::string& utf8, std::string_view what) {
  std::string text = platform::Utf8ToCp1251(utf8);
  if (platform::Cp1251ToUtf8(text) != utf8)
    throw Failure{std::string(what) + " \"" + utf8 + "\" has characters that code page 1251 cannot hold", kExitUsage};
  return text;
}

std::string ToUtf8(std::string_view cp1251) { return platform::Cp1251ToUtf8(cp1251); }

std::string ProgramPath(const std::string& utf8_path) {
  namespace fs = std::filesystem;
  fs::path path = fs::absolute(fs::u8path(utf8_path)).lexically_normal();
  std::u8string u8 = path.u8string();
  std::string text = ToCp1251(std::string(u8.begin(), u8.end()), "The path");
  for (char& c : text)
    if (c == '/') c = '\\';
  while (text.size() > 1 && text.back() == '\\' && text[text.size() - 2] != ':') text.pop_back();
  return text;
}

std::string ProgramDirectory(const std::string& utf8_path) {
  std::string path = ProgramPath(utf8_path);
  if (path.empty() || path.back() != '\\') path += '\\';
  return path;
}

std::string DisplayPath(std::string_view program_path) { return platform::SystemPath(program_path); }

std::string OpenHost(const std::string& utf8_base) {
  std::string base = ProgramDirectory(utf8_base);
  if (!platform::DirectoryExists(base)) throw Failure{"the host directory " + utf8_base + " does not exist"};
  ::InitializeEPD(base.c_str());
  return base;
}

Console& Console::Get() {
  static Console console;
  return console;
}

Console::Console() : interactive_(IsTerminal(stderr)) {}

void Console::Status(const std::string& line) {
  if (!interactive_) return;
  std::fprintf(stderr, "\r\x1b[K%s", line.c_str());
  std::fflush(stderr);
  status_shown_ = true;
}

void Console::ClearStatus() {
  if (!status_shown_) return;
  std::fputs("\r\x1b[K", stderr);
  std::fflush(stderr);
  status_shown_ = false;
}

void Console::Error(const std::string& utf8) {
  ClearStatus();
  std::fprintf(stderr, "epd: %s\n", utf8.c_str());
  std::fflush(stderr);
}

void Console::Note(const std::string& utf8) { Error(utf8); }

MessageBoxes::MessageBoxes(ReplaceAnswer answer) : answer_(answer) { ::EPDSetMessageHandler(&Handle, this); }

MessageBoxes::~MessageBoxes() { ::EPDSetMessageHandler(nullptr, nullptr); }

int EPD_STDCALL MessageBoxes::Handle(int kind, const char* /*title*/, const char* text, void* user) {
  auto* self = static_cast<MessageBoxes*>(user);
  const std::string utf8 = (self->subject_.empty() ? "" : self->subject_ + ": ") + ToUtf8(text != nullptr ? text : "");
  if (kind == 0) {
    Console::Get().Error(utf8);
    return 1;
  }
  bool yes = false;
  switch (self->answer_) {
    case ReplaceAnswer::kYes: yes = true; break;
    case ReplaceAnswer::kNo: yes = false; break;
    case ReplaceAnswer::kAsk: {
      Console::Get().ClearStatus();
      std::optional<std::string> answer = AskTerminal(utf8 + " [y/N] ");
      if (!answer) {
        Console::Get().Note(utf8 + " No terminal to answer on: taken as No (use --replace yes|no).");
      } else {
        const std::string& a = *answer;
        // y, yes, д, да
        yes = !a.empty() && (a[0] == 'y' || a[0] == 'Y' || a.rfind("\xD0\xB4", 0) == 0 || a.rfind("\xD0\x94", 0) == 0);
      }
      break;
    }
  }
  return yes ? 1 : 0;
}

ReplaceAnswer ParseReplaceAnswer(const std::string& text) {
  if (text == "yes") return ReplaceAnswer::kYes;
  if (text == "no") return ReplaceAnswer::kNo;
  return ReplaceAnswer::kAsk;
}

}  // namespace epd::tool
