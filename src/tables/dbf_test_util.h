#pragma once

// Helpers for the engine's tests: a scratch directory and a builder of table files byte by byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/regional.h"

namespace epd::tables::testing {

class ScratchDir {
 public:
  // `in_memory`: under /dev/shm where there is one, for tests that rewrite files many times.
  explicit ScratchDir(bool in_memory = false) {
    std::random_device rd;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    if (in_memory && std::filesystem::is_directory("/dev/shm")) base = "/dev/shm";
    dir_ = base / ("epd_tables_" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string dir() const { return dir_.string(); }

 private:
  std::filesystem::path dir_;
};

// A code page 1251 literal ("..."_cp) as a std::string.
inline std::string S(std::string_view cp) { return std::string(cp); }

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

struct FieldDesc {
  std::string name;
  char type;
  int length;
  int decimals = 0;
  int flags = 0;  // descriptor byte 18 (Visual FoxPro field flags)
};

// Builds a table file: the header, descriptors (32 bytes, or 48 at level 7), 0x0D, the given
// records (each a full record including its flag byte) and 0x1A.
class DbfBuilder {
 public:
  explicit DbfBuilder(std::uint8_t version = 0x03) : version_(version) {}
  DbfBuilder& Field(std::string name, char type, int length, int decimals = 0, int flags = 0) {
    fields_.push_back({std::move(name), type, length, decimals, flags});
    return *this;
  }
  // Bytes between the 0x0D terminator and the first record (Visual FoxPro's 263-byte backlink).
  DbfBuilder& ExtraHeader(std::string bytes) {
    extra_ = std::move(bytes);
    return *this;
  }
  DbfBuilder& Language(std::uint8_t id) {
    language_ = id;
    return *this;
  }
  DbfBuilder& DriverName(std::string name) {
    driver_ = std::move(name);
    return *this;
  }
  DbfBuilder& Record(std::string bytes) {
    records_.push_back(std::move(bytes));
    return *this;
  }
  // Live record from the fields' texts, each padded or cut to its width (numbers right-aligned).
  DbfBuilder& Row(const std::vector<std::string>& values, bool deleted = false) {
    std::string r(1, deleted ? '*' : ' ');
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      std::string v = i < values.size() ? values[i] : std::string();
      const std::size_t w = static_cast<std::size_t>(fields_[i].length);
      const bool right = fields_[i].type == 'N' || fields_[i].type == 'F';
      if (v.size() > w) v.resize(w);
      r += right ? std::string(w - v.size(), ' ') + v : v + std::string(w - v.size(), ' ');
    }
    records_.push_back(r);
    return *this;
  }
  bool level7() const { return (version_ & 7) == 4; }
  int RecordLength() const {
    int n = 1;
    for (const auto& f : fields_) n += f.length;
    return n;
  }
  int HeaderLength() const {
    return static_cast<int>((level7() ? 68 : 32) + (level7() ? 48 : 32) * fields_.size() + 1 + extra_.size());
  }
  std::string Bytes(std::uint32_t count_override = 0xFFFFFFFF, bool end_marker = true) const {
    std::string h(level7() ? 68 : 32, '\0');
    h[0] = static_cast<char>(version_);
    h[1] = 102, h[2] = 1, h[3] = 14;
    const std::uint32_t count =
        count_override == 0xFFFFFFFF ? static_cast<std::uint32_t>(records_.size()) : count_override;
    for (int i = 0; i < 4; ++i) h[4 + i] = static_cast<char>(count >> (8 * i));
    const int hl = HeaderLength(), rl = RecordLength();
    h[8] = static_cast<char>(hl & 0xFF), h[9] = static_cast<char>(hl >> 8);
    h[10] = static_cast<char>(rl & 0xFF), h[11] = static_cast<char>(rl >> 8);
    if (!level7()) h[29] = static_cast<char>(language_);
    if (level7()) h.replace(32, driver_.size(), driver_);
    for (const auto& f : fields_) {
      std::string d(level7() ? 48 : 32, '\0');
      d.replace(0, f.name.size(), f.name);
      const std::size_t t = level7() ? 32 : 11;
      d[t] = f.type;
      d[level7() ? 33 : 16] = static_cast<char>(f.length & 0xFF);
      d[level7() ? 34 : 17] = static_cast<char>(f.decimals);
      if (!level7()) d[18] = static_cast<char>(f.flags);
      h += d;
    }
    h += '\x0D';
    h += extra_;
    for (const auto& r : records_) h += r;
    if (end_marker) h += '\x1A';
    return h;
  }
  void Write(const std::string& path) const { WriteBytes(path, Bytes()); }

 private:
  std::uint8_t version_;
  std::uint8_t language_ = 0;
  std::string driver_;
  std::string extra_;
  std::vector<FieldDesc> fields_;
  std::vector<std::string> records_;
};

// Fixes the regional format for a test: decimal comma, dd.MM.yyyy.
class RussianFormat {
 public:
  RussianFormat() { platform::SetRegionalFormatOverride(platform::RegionalFormat{',', "dd.MM.yyyy"}); }
  ~RussianFormat() { platform::SetRegionalFormatOverride(std::nullopt); }
};

}  // namespace epd::tables::testing
