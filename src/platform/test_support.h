#pragma once

#include <string>
#include <string_view>

// Helpers for tests: temporary directories and whole-file reads and writes, by the program's
// own (code page 1251, "\"-separated) paths.
namespace epd::testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory in the program's form, ending in a backslash.
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

void WriteFile(const std::string& path, std::string_view content);
std::string ReadFile(const std::string& path);

}  // namespace epd::testing_support
