#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The names of the directories a case-insensitive lookup has listed, kept so that a name that
// is not there costs one lookup instead of a listing of the whole directory. Used by
// files_posix.cpp only.
//
// A kept listing is believed while the directory's own state (device, inode, size, modification
// and change times) is what it was when the listing was taken, or after the library's own last
// change to it: a file another program adds, removes or renames changes that state, and the
// directory is listed again. The library's own creations, renames and removals are applied to
// the listing, when the directory was as the listing knew it just before the change.
//
// Time stamps have a resolution: two changes within one tick of the file system's clock may
// leave the same times. A listing taken, or changed by the library, within kUnsettledNs of the
// directory's times may therefore miss a change another program made in that very tick; it is
// used while the library keeps working in the directory, and listed again by the first lookup
// that comes later than that, when the times still say nothing changed.
namespace epd::platform::detail {

struct DirectoryState {
  std::uint64_t device = 0, inode = 0, size = 0;
  std::int64_t modified_ns = 0, changed_ns = 0;
  bool operator==(const DirectoryState&) const = default;
};
DirectoryState StateOf(const struct stat& st);

class DirectoryNames {
 public:
  static DirectoryNames& Instance();

  // The name of the entry of directory `dir` (as the system spells it; "" is the current
  // directory) that equals `name` ignoring letter case in code page 1251 terms; nothing when
  // there is none. `dir_stat` is what stat(2) says of `dir` now.
  std::optional<std::string> Find(const std::string& dir, const struct stat& dir_stat, std::string_view name);

  // The library's own change to `dir`: Begin just before it, Changed just after it succeeded,
  // with the entry it made and the one it took away (either may be empty).
  struct Change {
    std::string dir;
    bool known = false;  // a kept listing that was current just before the change
  };
  Change Begin(const std::string& dir);
  void Changed(const Change& change, std::string_view added, std::string_view removed);

  // How many times a directory was read: for tests and benchmarks.
  std::uint64_t listings() const { return listings_; }

  // The resolution assumed for every file system's times (FAT's two seconds).
  static constexpr std::int64_t kUnsettledNs = 2'000'000'000;

 private:
  DirectoryNames() = default;
  struct Listing;
  Listing* Kept(const std::string& dir);
  Listing& List(const std::string& dir, const DirectoryState& state);

  struct Impl;
  Impl& impl();
  std::uint64_t listings_ = 0;
};

}  // namespace epd::platform::detail
