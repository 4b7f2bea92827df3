#include "platform/ini_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/replace_file.h"

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

// The whole file; raises when it cannot be opened or read (the callers take that like a missing
// file where they must).
std::string ReadWhole(const std::string& path) {
  auto file = OpenFile(path, FileMode::kRead);
  // Read until a read comes back short: a settings file takes one read, without asking its size.
  std::string content(64 * 1024, '\0');
  std::size_t have = 0;
  while (true) {
    const std::size_t got = file->ReadAt(have, content.data() + have, content.size() - have);
    have += got;
    if (have < content.size()) break;
    content.resize(content.size() * 2);
  }
  content.resize(have);
  content.shrink_to_fit();  // the parses of the last few contents are kept
  return content;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

namespace {

void AppendUpper(std::string& out, std::string_view text) {
  const std::size_t at = out.size();
  out.append(text);
  UpperCp1251InPlace(out.data() + at, text.size());
}

std::uint32_t HashKey(std::string_view key) {
  std::uint32_t h = 2166136261u;
  for (char c : key) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
  return h;
}

}  // namespace

// The values of one file content: the entries in file order, found through an open-addressing
// index over their keys. A section has an entry of its own, its name and a NUL, which no key's
// entry can equal (a key has a name): the first section of a name and the first key of a name
// in it win.
struct IniFile::Parsed {
  struct Entry {
    std::string key;  // upper-case section name, NUL, upper-case key name
    std::string value;
  };
  std::string content;
  std::uint64_t id = 0;  // unique to this parse, which is shared by all objects of the same bytes
  std::vector<Entry> entries;
  std::vector<std::int32_t> slots;  // positions in entries by hash of the key; -1 free

  explicit Parsed(std::string text);

  // The slot holding `key`, as -1 - (the free slot where it would go) when there is none.
  std::ptrdiff_t Slot(std::string_view key) const {
    const std::size_t mask = slots.size() - 1;
    for (std::size_t s = HashKey(key) & mask;; s = (s + 1) & mask) {
      if (slots[s] < 0) return -1 - static_cast<std::ptrdiff_t>(s);
      if (entries[static_cast<std::size_t>(slots[s])].key == key) return static_cast<std::ptrdiff_t>(s);
    }
  }
  void Add(std::ptrdiff_t free_slot, Entry entry) {
    slots[static_cast<std::size_t>(-1 - free_slot)] = static_cast<std::int32_t>(entries.size());
    entries.push_back(std::move(entry));
  }
};

// Each line is a line up to "\n"; the "\r" of a "\r\n" end is one of the blanks trimmed.
IniFile::Parsed::Parsed(std::string text) : content(std::move(text)) {
  const std::string_view all = content;
  const std::size_t lines = 1 + static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n'));
  std::size_t slot_count = 16;
  while (slot_count < 2 * lines) slot_count *= 2;
  slots.assign(slot_count, -1);
  entries.reserve(lines);

  bool active = false;  // inside the first section of its name
  std::string current;  // the section's upper-case name and a NUL
  for (std::size_t pos = 0; pos < all.size();) {
    std::size_t nl = all.find('\n', pos);
    if (nl == std::string_view::npos) nl = all.size();
    const std::string_view line = all.substr(pos, nl - pos);
    pos = nl + 1;
    std::string_view name, key, value;
    if (SectionName(line, &name)) {
      current.clear();
      AppendUpper(current, name);
      current += '\0';
      const std::ptrdiff_t slot = Slot(current);
      active = slot < 0;
      if (active) Add(slot, Entry{current, std::string()});
    } else if (active && KeyValue(line, &key, &value)) {
      Entry e{current, std::string()};
      AppendUpper(e.key, key);
      const std::ptrdiff_t slot = Slot(e.key);
      if (slot < 0) {
        e.value = std::string(value.substr(0, kMaxValue));
        Add(slot, std::move(e));
      }
    }
  }
}

// The settings file is read at every export, and nearly always holds what it held the time
// before: the parse of the last few contents is kept and taken again for the same bytes. Like
// the rest of the library it is used from one thread at a time.
std::shared_ptr<const IniFile::Parsed> IniFile::ParsedFor(std::string content) {
  static std::vector<std::shared_ptr<const Parsed>> recent;  // most recent first
  constexpr std::size_t kKept = 4;
  for (std::size_t i = 0; i < recent.size(); ++i) {
    if (recent[i]->content == content) {
      std::rotate(recent.begin(), recent.begin() + static_cast<std::ptrdiff_t>(i),
                  recent.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      return recent.front();
    }
  }
  static std::uint64_t last_id = 0;
  auto fresh = std::make_shared<Parsed>(std::move(content));
  fresh->id = ++last_id;
  std::shared_ptr<const Parsed> parsed = std::move(fresh);
  recent.insert(recent.begin(), parsed);
  if (recent.size() > kKept) recent.pop_back();
  return parsed;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  std::string content;
  if (!IsBareName(path_)) {
    try {
      content = ReadWhole(path_);
    } catch (const Error&) {
      content.clear();  // an unreadable file reads as absent: every reader gets its default
    }
  }
  parsed_ = ParsedFor(std::move(content));
}

std::string IniFile::LookupKey(std::string_view section, std::string_view key) {
  std::string k;
  k.reserve(section.size() + key.size() + 1);
  AppendUpper(k, section);
  k += '\0';
  AppendUpper(k, key);
  return k;
}

const std::string* IniFile::Find(std::string_view section, std::string_view key) const {
  if (key.empty()) return nullptr;  // no key has an empty name
  // The lookup key is made on the stack: settings are read by the hundred in every export.
  char buffer[256];
  std::string long_key;
  std::string_view k;
  if (section.size() + key.size() + 1 <= sizeof buffer) {
    std::memcpy(buffer, section.data(), section.size());
    buffer[section.size()] = '\0';
    std::memcpy(buffer + section.size() + 1, key.data(), key.size());
    k = std::string_view(buffer, section.size() + 1 + key.size());
    UpperCp1251InPlace(buffer, k.size());
  } else {
    long_key = LookupKey(section, key);
    k = long_key;
  }
  const std::ptrdiff_t slot = parsed_->Slot(k);
  return slot >= 0 ? &parsed_->entries[static_cast<std::size_t>(parsed_->slots[static_cast<std::size_t>(slot)])].value
                   : nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key, std::string_view fallback) const {
  const std::string* value = Find(section, key);
  return value ? *value : std::string(fallback);
}

bool IniFile::HasKey(std::string_view section, std::string_view key) const { return Find(section, key) != nullptr; }

std::uint64_t IniFile::ContentId() const { return parsed_->id; }

namespace {

// `content` with the key of the section set to `value`: the first such key of the first such
// section rewritten in place, or a new key after the section's last line, or a new section at
// the end. Everything else stays byte for byte, line ends included.
std::string WithValue(const std::string& content, std::string_view section, std::string_view key,
                      std::string_view value) {
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
    updated += value;
    updated.append(content, l.begin + l.text.size(), std::string::npos);
  } else if (section_line < lines.size()) {
    const Line& l = lines[insert_after];
    std::size_t at = l.begin + l.text.size() + l.end.size();
    updated = content.substr(0, at);
    if (l.end.empty()) updated += eol;
    updated.append(key);
    updated += '=';
    updated += value;
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
    updated += value;
    updated += eol;
  }
  return updated;
}

}  // namespace

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  const std::string refused = "Unable to write to " + path_;
  if (IsBareName(path_)) throw Error(refused);
  // A value is one line: line breaks inside it would split the file's structure.
  std::string clean(value);
  for (char& c : clean)
    if (c == '\r' || c == '\n') c = ' ';
  std::string content;
  try {
    if (FileExists(path_)) content = ReadWhole(path_);  // a missing file is made
  } catch (const Error&) {
    throw Error(refused);
  }
  std::string updated = WithValue(content, section, key, clean);

  // The new content goes beside the file and then takes its place, so that a failure half way
  // never leaves a truncated settings file behind; no in-place fallback: a refused save is
  // reported, the file stays as it was.
  try {
    std::string dir = DirectoryOf(path_);
    if (!DirectoryExists(dir)) throw Error(refused);
    if (FileExists(path_)) OpenFile(path_, FileMode::kReadWrite);  // refused for a read-only file
    // Synced before the rename: the settings are the one file whose loss the user would notice
    // after a power failure. A scratch file whose writing failed stays for the next save.
    ReplaceFile(path_, updated,
                ReplaceOptions{.scratch_suffix = ".~tmp", .sync = true, .keep_scratch_after_failed_write = true});
  } catch (const Error&) {
    throw Error(refused);
  }
  parsed_ = ParsedFor(std::move(updated));
}

}  // namespace epd::platform
