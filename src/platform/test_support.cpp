#include "platform/test_support.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "platform/codepage.h"
#include "platform/files.h"

namespace epd::testing_support {
namespace {

std::string ProgramForm(const std::filesystem::path& p) {
  std::u8string u8 = p.u8string();
  std::string s = platform::Utf8ToCp1251(std::string_view(reinterpret_cast<const char*>(u8.data()), u8.size()));
#ifndef _WIN32
  for (char& c : s)
    if (c == '/') c = '\\';
#endif
  return s;
}

// Every test program runs with syncs seen (by the fault hook and the tests that count the steps)
// but not handed to the disk: each costs milliseconds, and the many tables the tests make would
// make the suite several times slower for nothing it could show. The tests that need the disk's
// own answer turn them on (RealDiskSyncs).
[[maybe_unused]] const bool kSyncsSkipped = (platform::SkipDiskSyncsForTests(true), true);

}  // namespace

RealDiskSyncs::RealDiskSyncs() { platform::SkipDiskSyncsForTests(false); }
RealDiskSyncs::~RealDiskSyncs() { platform::SkipDiskSyncsForTests(true); }

TempDir::TempDir(TempPlace place) {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  std::error_code ec;
  const bool memory = place == TempPlace::kMemory && std::filesystem::is_directory("/dev/shm", ec);
  std::filesystem::path p = (memory ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path()) /
                            ("epd-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
  std::filesystem::create_directories(p);
  path_ = ProgramForm(p);
  if (path_.empty() || path_.back() != '\\') path_ += '\\';
}

TempDir::~TempDir() {
  std::error_code ec;
  std::string native = platform::SystemPath(path_);
  std::filesystem::remove_all(std::filesystem::u8path(native), ec);
}

void WriteFile(const std::string& path, std::string_view content) {
  auto file = platform::OpenFile(path, platform::FileMode::kCreate);
  file->WriteAt(0, content.data(), content.size());
}

std::string ReadFile(const std::string& path) {
  auto file = platform::OpenFile(path, platform::FileMode::kRead);
  std::string content(static_cast<std::size_t>(file->Size()), '\0');
  content.resize(file->ReadAt(0, content.data(), content.size()));
  return content;
}

}  // namespace epd::testing_support
