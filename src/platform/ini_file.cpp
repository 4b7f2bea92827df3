#include "platform/ini_file.h"

#include <unordered_set>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"

namespace epd::platform {
namespace {

constexpr std::string_view kBlanks = " \t\r";

std::string_view Trim(std::string_view s) {
  std::size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  std::size_t e = s.find_last_not_of(kBlanks);
  return s.substr(b, e - b + 1);
}

// One line of the file: where it starts, its text without the line end, and its line end.
struct Line {
  std::size_t begin;
  std::string_view text;
  std::string_view end;
};

std::vector<Line> SplitLines(std::string_view content) {
  std::vector<Line> lines;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t nl = content.find('\n', pos);
    std::size_t stop = nl == std::string_view::npos ? content.size() : nl;
    // A line ends in "\n" or "\r\n"; a last line without "\n" has no line end at all.
    std::size_t text_end = nl != std::string_view::npos && stop > pos && content[stop - 1] == '\r' ? stop - 1 : stop;
    std::size_t next = nl == std::string_view::npos ? content.size() : nl + 1;
    lines.push_back({pos, content.substr(pos, text_end - pos), content.substr(text_end, next - text_end)});
    pos = next;
  }
  return lines;
}

// The section name of a "[name]" line, or nothing.
bool SectionName(std::string_view line, std::string_view* name) {
  std::string_view t = Trim(line);
  if (t.empty() || t[0] != '[') return false;
  std::size_t close = t.find(']');
  *name = Trim(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
  return true;
}

// The key and value of a "key=value" line, or nothing.
bool KeyValue(std::string_view line, std::string_view* key, std::string_view* value) {
  std::string_view t = Trim(line);
  if (t.empty() || t[0] == ';') return false;
  std::size_t eq = t.find('=');
  if (eq == std::string_view::npos) return false;
  *key = Trim(t.substr(0, eq));
  *value = Trim(t.substr(eq + 1));
  return !key->empty();
}

std::string ReadWhole(const std::string& path) {
  if (!FileExists(path)) return {};
  auto file = OpenFile(path, FileMode::kRead);
  std::string content(static_cast<std::size_t>(file->Size()), '\0');
  content.resize(file->ReadAt(0, content.data(), content.size()));
  return content;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  if (IsBareName(path_)) return;
  try {
    content_ = ReadWhole(path_);
  } catch (const Error&) {
    content_.clear();  // an unreadable file reads as absent: every reader gets its default
  }
  Parse();
}

std::string IniFile::LookupKey(std::string_view section, std::string_view key) {
  std::string k = UpperCp1251(section);
  k += '\0';
  k += UpperCp1251(key);
  return k;
}

void IniFile::Parse() {
  values_.clear();
  std::unordered_set<std::string> seen_sections;
  bool active = false;  // inside the first section of its name
  std::string current;
  for (const Line& line : SplitLines(content_)) {
    std::string_view name, key, value;
    if (SectionName(line.text, &name)) {
      current = UpperCp1251(name);
      active = seen_sections.insert(current).second;
    } else if (active && KeyValue(line.text, &key, &value)) {
      std::string k = current;
      k += '\0';
      k += UpperCp1251(key);
      values_.emplace(std::move(k), std::string(value.substr(0, kMaxValue)));  // first key wins
    }
  }
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
  auto it = values_.find(LookupKey(section, key));
  return it == values_.end() ? std::string(fallback) : it->second;
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const {
  return values_.count(LookupKey(section, key)) != 0;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string refused = "Unable to write to " + path_;
  if (IsBareName(path_)) throw Error(refused);
  // A value is one line: line breaks inside it would split the file's structure.
  std::string clean(value);
  for (char& c : clean)
    if (c == '\r' || c == '\n') c = ' ';
  std::string content;
  try {
    content = ReadWhole(path_);
  } catch (const Error&) {
    throw Error(refused);
  }
  std::vector<Line> lines = SplitLines(content);
  std::string eol = "\r\n";
  for (const Line& l : lines)
    if (!l.end.empty()) {
      eol = std::string(l.end);
      break;
    }

  std::string wanted_section = UpperCp1251(section);
  std::string wanted_key = UpperCp1251(key);
  std::size_t section_line = lines.size();
  std::size_t insert_after = lines.size();  // last key or value line of the section
  std::size_t key_line = lines.size();
  bool in_section = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view name, k, v;
    if (SectionName(lines[i].text, &name)) {
      if (in_section) break;  // the first section of the name is the one written
      if (UpperCp1251(name) == wanted_section) {
        in_section = true;
        section_line = i;
        insert_after = i;
      }
      continue;
    }
    if (!in_section) continue;
    if (!Trim(lines[i].text).empty()) insert_after = i;
    if (KeyValue(lines[i].text, &k, &v) && UpperCp1251(k) == wanted_key) {
      key_line = i;
      break;
    }
  }

  std::string updated;
  if (key_line < lines.size()) {
    const Line& l = lines[key_line];
    std::string_view t = l.text;
    std::size_t indent = t.find_first_not_of(kBlanks);
    std::string_view k;
    std::string_view v;
    KeyValue(t, &k, &v);
    updated = content.substr(0, l.begin);
    updated.append(t.substr(0, indent));
    updated.append(k);
    updated += '=';
    updated += clean;
    updated.append(content, l.begin + l.text.size(), std::string::npos);
  } else if (section_line < lines.size()) {
    const Line& l = lines[insert_after];
    std::size_t at = l.begin + l.text.size() + l.end.size();
    updated = content.substr(0, at);
    if (l.end.empty()) updated += eol;
    updated.append(key);
    updated += '=';
    updated += clean;
    updated += eol;
    updated.append(content, at, std::string::npos);
  } else {
    updated = content;
    if (!updated.empty() && updated.back() != '\n') updated += eol;
    updated += '[';
    updated.append(section);
    updated += ']';
    updated += eol;
    updated.append(key);
    updated += '=';
    updated += clean;
    updated += eol;
  }

  // The new content goes beside the file and then takes its place, so that a failure half way
  // never leaves a truncated settings file behind.
  try {
    std::string dir = DirectoryOf(path_);
    if (!DirectoryExists(dir)) throw Error(refused);
    if (FileExists(path_)) OpenFile(path_, FileMode::kReadWrite);  // refused for a read-only file
    std::string temp = path_ + ".~tmp";
    {
      auto file = OpenFile(temp, FileMode::kCreate);
      file->WriteAt(0, updated.data(), updated.size());
      file->Sync();
    }
    try {
      RenameFile(temp, path_);
    } catch (const Error&) {
      try {
        RemoveFile(temp);
      } catch (const Error&) {
      }
      throw;
    }
  } catch (const Error&) {
    throw Error(refused);
  }
  content_ = std::move(updated);
  Parse();
}

}  // namespace epd::platform
