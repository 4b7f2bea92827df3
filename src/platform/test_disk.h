#pragma once

// A disk that forgets what was not synced, for the power-loss test. Header only: included by
// tests, never built into the library.
//
// It starts from a directory tree that is wholly on the disk, replays the changes the file
// observer (platform::SetFileObserver) recorded, and answers what the disk may hold when the
// power fails right after the last of them:
// - a file's content is its content at its last Sync (or at the start), plus some of what was
//   written to it after that: a prefix of those writes in their order, the last one possibly
//   cut short (prefix outcomes), or any subset of the 512-byte sectors they touched, each
//   sector old or new, the file's size old or new (sector outcomes; one of them decided: only
//   the sectors of the last write new);
// - a directory's entries are those at its last SyncDirectory (or at the start), plus a prefix
//   of the creations, renames and removals made in it after that: a file created or renamed
//   and not followed by a sync of its directory may be missing or under its old name, a
//   directory created so may be missing with everything in it.
// A file's data and its name are independent: a name may survive without the data written
// under it, which is the zero-length file some file systems leave after a rename.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace epd::testing_support {

// One change as the observer told it, its texts owned.
struct RecordedChange {
  platform::FileOp op = platform::FileOp::kWrite;
  std::string path, to;
  std::uint64_t offset = 0;
  std::string data;
};

inline std::string_view OpName(platform::FileOp op) {
  switch (op) {
    case platform::FileOp::kOpen: return "open";
    case platform::FileOp::kCreate: return "create";
    case platform::FileOp::kRead: return "read";
    case platform::FileOp::kWrite: return "write";
    case platform::FileOp::kTruncate: return "truncate";
    case platform::FileOp::kSync: return "sync";
    case platform::FileOp::kRename: return "rename";
    case platform::FileOp::kRemove: return "remove";
    case platform::FileOp::kCreateDirectory: return "create folder";
    case platform::FileOp::kSyncDirectory: return "sync folder";
  }
  return "?";
}

// "write OUT/body_epd.dbf at 352, 130 bytes", paths below `root` shown relative to it.
inline std::string Describe(const RecordedChange& c, std::string_view root) {
  auto shown = [&](const std::string& p) {
    return p.size() > root.size() && p.starts_with(root) ? p.substr(root.size() + 1) : p;
  };
  std::string text = std::string(OpName(c.op)) + " " + shown(c.path);
  if (c.op == platform::FileOp::kRename) text += " to " + shown(c.to);
  if (c.op == platform::FileOp::kWrite)
    text += " at " + std::to_string(c.offset) + ", " + std::to_string(c.data.size()) + " bytes";
  if (c.op == platform::FileOp::kTruncate) text += " to " + std::to_string(c.offset) + " bytes";
  return text;
}

// The journal's form, for a process that records changes to a file another one reads: each
// change as its operation, the lengths of its texts, its offset, then the texts.
inline std::string EncodeChange(const platform::FileChange& c) {
  std::string out;
  auto number = [&](std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out += static_cast<char>(v >> (8 * i));
  };
  number(static_cast<std::uint64_t>(c.op));
  number(c.path.size());
  number(c.to.size());
  number(c.data.size());
  number(c.offset);
  out.append(c.path).append(c.to).append(c.data);
  return out;
}

// The changes of a journal; a change cut short at its end (the writer died writing it) is left
// out.
inline std::vector<RecordedChange> DecodeJournal(std::string_view bytes) {
  std::vector<RecordedChange> changes;
  std::size_t at = 0;
  auto number = [&] {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    at += 8;
    return v;
  };
  while (bytes.size() - at >= 40) {
    RecordedChange c;
    c.op = static_cast<platform::FileOp>(number());
    const std::uint64_t path = number(), to = number(), data = number();
    c.offset = number();
    if (bytes.size() - at < path + to + data) break;
    c.path = bytes.substr(at, path);
    c.to = bytes.substr(at + path, to);
    c.data = bytes.substr(at + path + to, data);
    at += path + to + data;
    changes.push_back(std::move(c));
  }
  return changes;
}

// A directory tree: directories and files by their '/'-separated paths relative to its root.
struct DiskTree {
  std::set<std::string> directories;
  std::map<std::string, std::string> files;
  bool operator==(const DiskTree&) const = default;
};

class PowerLossDisk {
 public:
  static constexpr std::size_t kSector = 512;

  enum class Outcome {
    kNothingUnsynced,   // every file and directory as at its last sync: the worst case
    kNamesWithoutData,  // every name made, no data written after its file's last sync
    kDataWithoutNames,  // all data written, no name made after its folder's last sync
    kLastWritesOnly,    // every name made; per file only the sectors of its last unsynced write
    kEverything,        // all that was written, as a killed process leaves it
    kPrefixes,          // per file a prefix of its writes, per directory a prefix of its changes
    kSectors,           // per file a subset of the sectors written, per directory a prefix
  };

  // `root` is the tree's directory as the observer names it (SystemPath, no trailing
  // separator); `start` is all of it, on the disk.
  PowerLossDisk(std::string root, const DiskTree& start) : root_(std::move(root)) {
    dirs_[""];
    for (const std::string& d : start.directories) dirs_[d];
    for (const std::string& d : start.directories) Link(d, Entry{true, 0});
    for (const auto& [path, bytes] : start.files) {
      inodes_.push_back(Inode{bytes, bytes, {}});
      Link(path, Entry{false, inodes_.size() - 1});
    }
    for (auto& [path, dir] : dirs_) dir.durable = dir.live;
  }

  // Replays one change. A change the system would have refused (a removal or rename of no
  // file, a folder that exists) changes nothing; one that names no open file or an unknown
  // folder, or lies outside the root, raises std::logic_error.
  void Apply(const RecordedChange& c) {
    using platform::FileOp;
    const std::string path = Relative(c.path);
    switch (c.op) {
      case FileOp::kCreate: {
        Dir& dir = DirOf(path);
        const auto found = dir.live.find(Name(path));
        if (found != dir.live.end() && !found->second.directory) {
          Write(inodes_[found->second.inode], DataOp{true, 0, {}});
        } else if (found == dir.live.end()) {
          inodes_.push_back(Inode{});
          ChangeEntry(path, EntryOp{EntryOp::kLink, Name(path), {}, Entry{false, inodes_.size() - 1}});
        }
        break;
      }
      case FileOp::kWrite: Write(FileAt(path), DataOp{false, c.offset, c.data}); break;
      case FileOp::kTruncate: Write(FileAt(path), DataOp{true, c.offset, {}}); break;
      case FileOp::kSync: {
        Inode& file = FileAt(path);
        file.durable = file.live;
        file.pending.clear();
        break;
      }
      case FileOp::kRename: Rename(path, Relative(c.to)); break;
      case FileOp::kRemove:
        if (DirOf(path).live.count(Name(path))) ChangeEntry(path, EntryOp{EntryOp::kUnlink, Name(path), {}, {}});
        break;
      case FileOp::kCreateDirectory:
        if (!DirOf(path).live.count(Name(path))) {
          dirs_[path];
          ChangeEntry(path, EntryOp{EntryOp::kLink, Name(path), {}, Entry{true, 0}});
        }
        break;
      case FileOp::kSyncDirectory: {
        Dir& dir = Directory(path);
        dir.durable = dir.live;
        dir.pending.clear();
        break;
      }
      case FileOp::kOpen:
      case FileOp::kRead: break;
    }
  }

  // One tree the disk may hold. `random` decides the prefix and sector outcomes; the others
  // do not use it.
  DiskTree After(Outcome outcome, std::mt19937& random) const {
    std::vector<std::string> contents;
    for (const Inode& file : inodes_) contents.push_back(Content(file, outcome, random));
    DiskTree tree;
    Collect("", outcome, random, contents, tree);
    return tree;
  }

  // How much a power failure now could lose: files with unsynced writes, directories with
  // unsynced entries.
  std::pair<std::size_t, std::size_t> Unsynced() const {
    std::pair<std::size_t, std::size_t> n{0, 0};
    for (const Inode& file : inodes_) n.first += !file.pending.empty();
    for (const auto& [path, dir] : dirs_) n.second += !dir.pending.empty();
    return n;
  }

 private:
  struct DataOp {
    bool truncate;
    std::uint64_t offset;  // a truncation's size
    std::string bytes;
  };
  struct Inode {
    std::string durable, live;
    std::vector<DataOp> pending;
  };
  struct Entry {
    bool directory = false;
    std::size_t inode = 0;
  };
  struct EntryOp {
    enum Kind { kLink, kUnlink, kRename } kind;
    std::string name, to;
    Entry entry;
  };
  using Entries = std::map<std::string, Entry>;
  struct Dir {
    Entries durable, live;
    std::vector<EntryOp> pending;
  };

  std::string Relative(const std::string& path) const {
    if (path == root_) return "";
    if (!path.starts_with(root_ + "/")) throw std::logic_error("a change outside " + root_ + ": " + path);
    return path.substr(root_.size() + 1);
  }
  static std::string Parent(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash);
  }
  static std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }
  Dir& Directory(const std::string& path) {
    const auto found = dirs_.find(path);
    if (found == dirs_.end()) throw std::logic_error("no folder " + path);
    return found->second;
  }
  Dir& DirOf(const std::string& path) { return Directory(Parent(path)); }
  Inode& FileAt(const std::string& path) {
    const Dir& dir = DirOf(path);
    const auto found = dir.live.find(Name(path));
    if (found == dir.live.end() || found->second.directory) throw std::logic_error("no file " + path);
    return inodes_[found->second.inode];
  }
  void Link(const std::string& path, Entry entry) { DirOf(path).live[Name(path)] = entry; }
  void ChangeEntry(const std::string& path, EntryOp op) {
    Dir& dir = DirOf(path);
    Replay(dir.live, op);
    dir.pending.push_back(std::move(op));
  }
  void Rename(const std::string& from, const std::string& to) {
    Dir& source = DirOf(from);
    const auto found = source.live.find(Name(from));
    if (found == source.live.end()) return;
    const Entry entry = found->second;
    if (Parent(from) == Parent(to)) {
      ChangeEntry(from, EntryOp{EntryOp::kRename, Name(from), Name(to), entry});
    } else {  // two directories: each keeps or loses its half on its own
      ChangeEntry(from, EntryOp{EntryOp::kUnlink, Name(from), {}, {}});
      ChangeEntry(to, EntryOp{EntryOp::kLink, Name(to), {}, entry});
    }
  }
  static void Replay(Entries& entries, const EntryOp& op) {
    switch (op.kind) {
      case EntryOp::kLink: entries[op.name] = op.entry; break;
      case EntryOp::kUnlink: entries.erase(op.name); break;
      case EntryOp::kRename: {
        const auto found = entries.find(op.name);
        if (found == entries.end()) break;
        const Entry entry = found->second;
        entries.erase(found);
        entries[op.to] = entry;
        break;
      }
    }
  }
  static void Replay(std::string& bytes, const DataOp& op) {
    if (op.truncate) {
      bytes.resize(op.offset);
      return;
    }
    if (bytes.size() < op.offset + op.bytes.size()) bytes.resize(op.offset + op.bytes.size());
    bytes.replace(op.offset, op.bytes.size(), op.bytes);
  }
  static void Write(Inode& file, DataOp op) {
    Replay(file.live, op);
    file.pending.push_back(std::move(op));
  }

  // How many of `n` pending changes survive: none, all or any number, a third of the time each,
  // as faults hide at the ends.
  static std::size_t Survivors(std::size_t n, std::mt19937& random) {
    switch (std::uniform_int_distribution<int>(0, 2)(random)) {
      case 0: return 0;
      case 1: return n;
      default: return std::uniform_int_distribution<std::size_t>(0, n)(random);
    }
  }

  static std::string Content(const Inode& file, Outcome outcome, std::mt19937& random) {
    switch (outcome) {
      case Outcome::kNothingUnsynced:
      case Outcome::kNamesWithoutData: return file.durable;
      case Outcome::kLastWritesOnly: return LastWriteOnly(file);
      case Outcome::kDataWithoutNames:
      case Outcome::kEverything: return file.live;
      case Outcome::kPrefixes: return Prefix(file, random);
      case Outcome::kSectors: return Sectors(file, random);
    }
    return file.live;
  }
  // The writes in their order up to a byte position among them.
  static std::string Prefix(const Inode& file, std::mt19937& random) {
    if (file.pending.empty()) return file.durable;
    std::size_t total = 0;
    for (const DataOp& op : file.pending) total += op.truncate ? 1 : op.bytes.size();
    std::size_t left = Survivors(total, random);
    std::string bytes = file.durable;
    for (const DataOp& op : file.pending) {
      const std::size_t size = op.truncate ? 1 : op.bytes.size();
      if (left >= size) {
        Replay(bytes, op);
        left -= size;
        continue;
      }
      if (left > 0 && !op.truncate) Replay(bytes, DataOp{false, op.offset, op.bytes.substr(0, left)});
      break;
    }
    return bytes;
  }
  // The file at its new size, new only in the sectors its last write touched: the disk wrote the
  // last change first, as it may (a header that counts records whose sectors never got there).
  static std::string LastWriteOnly(const Inode& file) {
    const auto last = std::find_if(file.pending.rbegin(), file.pending.rend(),
                                   [](const DataOp& op) { return !op.truncate && !op.bytes.empty(); });
    if (last == file.pending.rend()) return file.live;
    const std::size_t first = last->offset / kSector * kSector;
    const std::size_t end =
        std::min<std::size_t>(file.live.size(), (last->offset + last->bytes.size() + kSector - 1) / kSector * kSector);
    std::string bytes = file.live;
    for (std::size_t i = 0; i < bytes.size(); ++i)
      if (i < first || i >= end) bytes[i] = i < file.durable.size() ? file.durable[i] : '\0';
    return bytes;
  }

  // Each sector written since the last sync, old or new; the size old or new. A sector that
  // lies past the end of the side it is taken from reads as zeros, as a block allocated and never
  // written does.
  static std::string Sectors(const Inode& file, std::mt19937& random) {
    if (file.pending.empty()) return file.durable;
    const std::string& before = file.durable;
    const std::string& after = file.live;
    std::string bytes = std::uniform_int_distribution<int>(0, 1)(random) ? after : before;
    auto at = [](const std::string& side, std::size_t i) { return i < side.size() ? side[i] : '\0'; };
    std::vector<std::size_t> changed;
    for (std::size_t s = 0; s * kSector < bytes.size(); ++s) {
      for (std::size_t i = s * kSector; i < std::min(bytes.size(), (s + 1) * kSector); ++i) {
        if (at(before, i) != at(after, i)) {
          changed.push_back(s);
          break;
        }
      }
    }
    std::shuffle(changed.begin(), changed.end(), random);
    const std::size_t fresh = Survivors(changed.size(), random);
    for (std::size_t n = 0; n < changed.size(); ++n) {
      const std::string& from = n < fresh ? after : before;
      for (std::size_t i = changed[n] * kSector; i < std::min(bytes.size(), (changed[n] + 1) * kSector); ++i)
        bytes[i] = at(from, i);
    }
    return bytes;
  }

  Entries EntriesOf(const Dir& dir, Outcome outcome, std::mt19937& random) const {
    std::size_t kept = 0;
    switch (outcome) {
      case Outcome::kNothingUnsynced:
      case Outcome::kDataWithoutNames: kept = 0; break;
      case Outcome::kNamesWithoutData:
      case Outcome::kLastWritesOnly:
      case Outcome::kEverything: kept = dir.pending.size(); break;
      case Outcome::kPrefixes:
      case Outcome::kSectors: kept = Survivors(dir.pending.size(), random); break;
    }
    Entries entries = dir.durable;
    for (std::size_t i = 0; i < kept; ++i) Replay(entries, dir.pending[i]);
    return entries;
  }
  void Collect(const std::string& path, Outcome outcome, std::mt19937& random, const std::vector<std::string>& contents,
               DiskTree& tree) const {
    for (const auto& [name, entry] : EntriesOf(dirs_.at(path), outcome, random)) {
      const std::string child = path.empty() ? name : path + "/" + name;
      if (entry.directory) {
        tree.directories.insert(child);
        Collect(child, outcome, random, contents, tree);
      } else {
        tree.files[child] = contents[entry.inode];
      }
    }
  }

  std::string root_;
  std::vector<Inode> inodes_;
  std::map<std::string, Dir> dirs_;
};

}  // namespace epd::testing_support
