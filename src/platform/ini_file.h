#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The INI service. A line "[name]" opens a section, a line "key=value" sets a key; section and
// key names match without regard to letter case (code page 1251); the value is the text after
// the first "=" with the blanks around it removed, at most 2047 characters. The first section
// of a name and the first key of a name in it win; lines before any section, lines without
// "=" and comment lines count for nothing.
//
// An IniFile reads the file once, when it is made, and serves reads from that snapshot: a read
// through a new object always sees the file on disk. A write reads the file afresh, changes
// only that key's line (or adds the line at the end of its section, the section at the end of
// the file, the file itself), keeps every other byte and the file's line-end style, and puts the
// new content in place of the old in one step. A file named without a directory is never looked
// up anywhere: it reads as empty and refuses writes.
namespace epd::platform {

class IniFile {
 public:
  explicit IniFile(std::string path);

  const std::string& path() const { return path_; }

  // The value, or `fallback` when the section or key is absent.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  // Tells contents apart: two objects answer the same number only when they hold the same bytes.
  std::uint64_t ContentId() const;

  // Raises epd::Error("Unable to write to <path>") when the file cannot be written.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);

  static constexpr std::size_t kMaxValue = 2047;

 private:
  struct Parsed;
  static std::shared_ptr<const Parsed> ParsedFor(std::string content);
  static std::string LookupKey(std::string_view section, std::string_view key);
  const std::string* Find(std::string_view section, std::string_view key) const;

  std::string path_;
  std::shared_ptr<const Parsed> parsed_;  // the snapshot the reads are served from
};

}  // namespace epd::platform
