#include "cli_support.h"

#include <cstdio>
#include <filesystem>
#include <vector>

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

namespace {

bool StartsPath(std::string_view text, std::size_t at) {
  if (text[at] != '\\') return false;
  if (at == 0) return true;
  const char before = text[at - 1];
  return before == ' ' || before == '"' || before == '\'' || before == '(' || text.substr(0, at).ends_with("\xC2\xAB");
}

// Where the stretch that may hold a path ends: at a quote, a line end, a bracket, a comma, a
// semicolon, a closing guillemet, ": " or the end of the text.
std::size_t StretchEnd(std::string_view text, std::size_t from) {
  for (std::size_t i = from; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '"' || c == '\'' || c == '\n' || c == '\r' || c == ')' || c == ',' || c == ';') return i;
    if (c == ':' && (i + 1 == text.size() || text[i + 1] == ' ')) return i;
    if (text.substr(i).starts_with("\xC2\xBB")) return i;
  }
  return text.size();
}

// The path starting at `at`: the longest piece up to a blank that names an existing file or
// folder, else the whole stretch (a path that does not exist only has its separators turned).
// Trailing full stops are the sentence's.
std::string_view PathAt(std::string_view text, std::size_t at) {
  auto piece = [&](std::size_t end) {
    std::string_view p = text.substr(at, end - at);
    while (p.size() > 1 && p.back() == '.') p.remove_suffix(1);
    return p;
  };
  const std::size_t end = StretchEnd(text, at);
  for (std::size_t e = end;;) {
    const std::string path = platform::Utf8ToCp1251(piece(e));
    if (platform::FileExists(path) || platform::DirectoryExists(path)) return piece(e);
    const std::size_t blank = text.rfind(' ', e - 1);
    if (blank == std::string_view::npos || blank <= at) break;
    e = blank;
  }
  return piece(end);
}

}  // namespace

std::string SystemPathsIn(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    if (!StartsPath(utf8, i)) {
      out += utf8[i++];
      continue;
    }
    const std::string_view path = PathAt(utf8, i);
    out += DisplayPath(platform::Utf8ToCp1251(path));
    i += path.size();
  }
  return out;
}

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
  std::fprintf(stderr, "epd: %s\n", SystemPathsIn(utf8).c_str());
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
