#include "platform/ini_file.h"

#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"

namespace epd::platform {
namespace {

constexpr std::string_view kBlanks = " \t\r";

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
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

namespace {

void AppendUpper(std::string& out, std::string_view text) {
  const std::size_t at = out.size();
  out.resize(at + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) out[at + i] = UpperCp1251(text[i]);
}

std::uint32_t HashKey(std::string_view key) {
  std::uint32_t h = 2166136261u;
  for (char c : key) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

}  // namespace

std::string IniFile::LookupKey(std::string_view section, std::string_view key) {
  std::string k;
  k.reserve(section.size() + key.size() + 1);
  AppendUpper(k, section);
  k += '\0';
  AppendUpper(k, key);
  return k;
}

// The entries in file order, found through an open-addressing index over their keys. A section
// has an entry of its own, its name and a NUL, which no key's entry can equal (a key has a
// name): the first section of a name and the first key of a name in it win. Each line is a
// line up to "\n"; the "\r" of a "\r\n" end is one of the blanks trimmed.
void IniFile::Parse() {
  entries_.clear();
  const std::string_view content = content_;
  std::size_t lines = 1;
  for (char c : content) lines += c == '\n' ? 1 : 0;
  std::size_t slot_count = 16;
  while (slot_count < 2 * lines) slot_count *= 2;
  slots_.assign(slot_count, -1);
  entries_.reserve(lines);

  bool active = false;  // inside the first section of its name
  std::string current;  // the section's upper-case name and a NUL
  for (std::size_t pos = 0; pos < content.size();) {
    std::size_t nl = content.find('\n', pos);
    if (nl == std::string_view::npos) nl = content.size();
    const std::string_view line = content.substr(pos, nl - pos);
    pos = nl + 1;
    std::string_view name, key, value;
    if (SectionName(line, &name)) {
      current.clear();
      AppendUpper(current, name);
      current += '\0';
      active = Insert(Entry{current, std::string()});
    } else if (active && KeyValue(line, &key, &value)) {
      Entry e{current, std::string()};
      AppendUpper(e.key, key);
      if (Slot(e.key) < 0) {
        e.value = std::string(value.substr(0, kMaxValue));
        Insert(std::move(e));
      }
    }
  }
}

// The slot holding `key`, as -1 - (the free slot where it would go) when there is none.
std::ptrdiff_t IniFile::Slot(std::string_view key) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t s = HashKey(key) & mask;; s = (s + 1) & mask) {
    if (slots_[s] < 0) return -1 - static_cast<std::ptrdiff_t>(s);
    if (entries_[static_cast<std::size_t>(slots_[s])].key == key) return static_cast<std::ptrdiff_t>(s);
  }
}

bool IniFile::Insert(Entry entry) {
  const std::ptrdiff_t slot = Slot(entry.key);
  if (slot >= 0) return false;
  slots_[static_cast<std::size_t>(-1 - slot)] = static_cast<std::int32_t>(entries_.size());
  entries_.push_back(std::move(entry));
  return true;
}

const std::string* IniFile::Find(std::string_view section, std::string_view key) const {
  if (key.empty() || slots_.empty()) return nullptr;  // no key has an empty name
  const std::string k = LookupKey(section, key);
  const std::ptrdiff_t slot = Slot(k);
  return slot >= 0 ? &entries_[static_cast<std::size_t>(slots_[static_cast<std::size_t>(slot)])].value : nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
  const std::string* value = Find(section, key);
  return value ? *value : std::string(fallback);
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const { return Find(section, key) != nullptr; }

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
