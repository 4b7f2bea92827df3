#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "export_epd.h"

// What every command of the tool shares: exit codes, failures, the conversion of the user's
// UTF-8 to the library's code page 1251 and "\"-form paths, and the terminal's status line.
namespace epd::tool {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// A command that cannot go on. The message is UTF-8, written for the user.
struct Failure {
  std::string message;
  int exit_code = kExitFailed;
};

// UTF-8 <-> code page 1251. A character that 1251 lacks is a usage failure naming `what`.
std::string ToCp1251(const std::string& utf8, std::string_view what);
std::string ToUtf8(std::string_view cp1251);

// A path given by the user (relative to the current directory or absolute) as the library
// takes it: absolute, code page 1251, "\"-separated. The directory form ends in a backslash.
std::string ProgramPath(const std::string& utf8_path);
std::string ProgramDirectory(const std::string& utf8_path);
// How the system names a program path, in UTF-8, for messages.
std::string DisplayPath(std::string_view program_path);
// A UTF-8 message whose paths are in the program's form (the library's texts name them so: on
// POSIX "\home\u\host\DATA\export_epd.ini") with each written as the system writes it. A path
// starts with "\" after a blank, a quote or a bracket, and may hold blanks: it is the longest
// piece that exists on disk, else everything up to ": ", a quote, a comma or the end.
std::string SystemPathsIn(std::string_view utf8);

// The host's base directory: must exist; InitializeEPD is called with it. Returns it in the
// program's form, ending in a backslash.
std::string OpenHost(const std::string& utf8_base);

// stderr with an optional status line (the progress bar) that messages clear first.
class Console {
 public:
  static Console& Get();
  bool interactive() const { return interactive_; }
  void Status(const std::string& line);  // only on a terminal
  void ClearStatus();
  void Error(const std::string& utf8);  // "epd: <text>", its paths as the system writes them
  void Note(const std::string& utf8);

 private:
  Console();
  bool interactive_ = false;
  bool status_shown_ = false;
};

// The library's message boxes on the terminal: errors on stderr, the replace question answered
// by the user's choice. Installed for the lifetime of the object. What an export came to is its
// outcome, never told from the boxes.
enum class ReplaceAnswer { kAsk, kYes, kNo };
class MessageBoxes {
 public:
  explicit MessageBoxes(ReplaceAnswer answer);
  ~MessageBoxes();
  MessageBoxes(const MessageBoxes&) = delete;
  MessageBoxes& operator=(const MessageBoxes&) = delete;

  // What the messages are about ("invoice 240101"): put before each message.
  void SetSubject(std::string subject) { subject_ = std::move(subject); }

 private:
  static int EPD_STDCALL Handle(int kind, const char* title, const char* text, void* user);
  ReplaceAnswer answer_;
  std::string subject_;
};

ReplaceAnswer ParseReplaceAnswer(const std::string& text);

}  // namespace epd::tool
