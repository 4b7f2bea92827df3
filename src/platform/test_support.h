#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/messages.h"

// Helpers for tests: temporary directories and whole-file reads and writes, by the program's
// own (code page 1251, "\"-separated) paths.
namespace epd::testing_support {

// Where a temporary directory lies: in the system's temporary directory, or in memory
// (/dev/shm where there is one), where syncs cost nothing: for tests that model what a disk
// keeps themselves and would only wait for the real one.
enum class TempPlace { kDisk, kMemory };

class TempDir {
 public:
  explicit TempDir(TempPlace place = TempPlace::kDisk);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory in the program's form, ending in a backslash.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The test programs hand nothing to the disk at a sync (platform::SkipDiskSyncsForTests); while
// one of these lives, they do.
class RealDiskSyncs {
 public:
  RealDiskSyncs();
  ~RealDiskSyncs();
  RealDiskSyncs(const RealDiskSyncs&) = delete;
  RealDiskSyncs& operator=(const RealDiskSyncs&) = delete;
};

void WriteFile(const std::string& path, std::string_view content);
std::string ReadFile(const std::string& path);

// Catches the texts of the message boxes shown while it lives; confirmations are answered No.
class ErrorBoxes {
 public:
  ErrorBoxes() { platform::SetMessageHandler(&Record, this); }
  ~ErrorBoxes() { platform::SetMessageHandler(nullptr, nullptr); }
  ErrorBoxes(const ErrorBoxes&) = delete;
  ErrorBoxes& operator=(const ErrorBoxes&) = delete;
  std::vector<std::string> texts;

 private:
  static int EPD_STDCALL Record(int, const char*, const char* text, void* user) {
    static_cast<ErrorBoxes*>(user)->texts.push_back(text);
    return 0;
  }
};

}  // namespace epd::testing_support
