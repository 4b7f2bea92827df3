#include "platform/directory_names_posix.h"

#include <dirent.h>

#include <algorithm>
#include <ctime>
#include <unordered_map>
#include <vector>

#include "platform/codepage.h"

namespace epd::platform::detail {
namespace {

// What is kept at most: a few directories (the export folder, its supplier subfolders, the
// host's), and not more names than a few megabytes hold; a directory with more entries is read
// at every miss, as before.
constexpr std::size_t kMaxListings = 16;
constexpr std::size_t kMaxNames = 250'000;

std::int64_t Now() {
  timespec t{};
  ::clock_gettime(CLOCK_REALTIME, &t);  // the clock the file systems stamp with
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

std::int64_t Ns(const timespec& t) { return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

// The name as the lookups compare it.
std::string KeyOf(std::string_view name) { return UpperCp1251(Utf8ToCp1251(name)); }

}  // namespace

DirectoryState StateOf(const struct stat& st) {
  return DirectoryState{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                        static_cast<std::uint64_t>(st.st_size), Ns(st.st_mtim), Ns(st.st_ctim)};
}

struct DirectoryNames::Listing {
  std::string dir;
  DirectoryState state;
  // The directory's times lay within one resolution of the moment the listing was taken or
  // changed: a change in the same tick may hide behind them until then.
  bool settled = false;
  std::int64_t recheck_after = 0;
  struct Entry {
    std::string name;         // the first entry of the key, as the directory gave it
    std::uint32_t count = 0;  // entries of the key (names that differ in letter case only)
  };
  std::unordered_map<std::string, Entry> names;

  void Mark(std::int64_t now) {
    settled = now - std::max(state.modified_ns, state.changed_ns) >= kUnsettledNs;
    recheck_after = now + kUnsettledNs;
  }
};

struct DirectoryNames::Impl {
  std::vector<Listing> listings;  // most recently used first
  std::size_t names = 0;

  void Drop(std::size_t i) {
    names -= listings[i].names.size();
    listings.erase(listings.begin() + static_cast<std::ptrdiff_t>(i));
  }
  void Drop(const std::string& dir) {
    for (std::size_t i = 0; i < listings.size(); ++i)
      if (listings[i].dir == dir) return Drop(i);
  }
};

DirectoryNames& DirectoryNames::Instance() {
  static DirectoryNames* names = new DirectoryNames();  // never destroyed: files outlive statics
  return *names;
}

DirectoryNames::Impl& DirectoryNames::impl() {
  static Impl* impl = new Impl();
  return *impl;
}

DirectoryNames::Listing* DirectoryNames::Kept(const std::string& dir) {
  std::vector<Listing>& all = impl().listings;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i].dir != dir) continue;
    std::rotate(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(i),
                all.begin() + static_cast<std::ptrdiff_t>(i) + 1);
    return &all.front();
  }
  return nullptr;
}

// Reads the directory; `state` was taken before, so that a change made while it is read shows
// as a changed state at the next lookup. The listing is kept when it fits.
DirectoryNames::Listing& DirectoryNames::List(const std::string& dir, const DirectoryState& state) {
  Impl& kept = impl();
  kept.Drop(dir);
  Listing fresh;
  fresh.dir = dir;
  fresh.state = state;
  fresh.Mark(Now());
  ++listings_;
  if (DIR* d = ::opendir(dir.empty() ? "." : dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      const std::string_view entry = e->d_name;
      if (entry == "." || entry == "..") continue;
      Listing::Entry& slot = fresh.names[KeyOf(entry)];
      if (slot.count++ == 0) slot.name = entry;
    }
    ::closedir(d);
  } else {
    fresh.state = DirectoryState{};  // unreadable: never matches, read again next time
  }
  if (fresh.names.size() > kMaxNames) {
    static Listing unkept;  // answers this one lookup
    unkept = std::move(fresh);
    return unkept;
  }
  while (!kept.listings.empty() &&
         (kept.listings.size() >= kMaxListings || kept.names + fresh.names.size() > kMaxNames))
    kept.Drop(kept.listings.size() - 1);
  kept.names += fresh.names.size();
  kept.listings.insert(kept.listings.begin(), std::move(fresh));
  return kept.listings.front();
}

std::optional<std::string> DirectoryNames::Find(const std::string& dir, const struct stat& dir_stat,
                                                std::string_view name) {
  const DirectoryState state = StateOf(dir_stat);
  Listing* listing = Kept(dir);
  if (listing == nullptr || !(listing->state == state) || (!listing->settled && Now() >= listing->recheck_after))
    listing = &List(dir, state);
  const auto found = listing->names.find(KeyOf(name));
  if (found == listing->names.end()) return std::nullopt;
  return found->second.name;
}

DirectoryNames::Change DirectoryNames::Begin(const std::string& dir) {
  Change change{dir, false};
  const Listing* listing = Kept(dir);
  struct stat st;
  if (listing != nullptr && ::stat(dir.empty() ? "." : dir.c_str(), &st) == 0)
    change.known = StateOf(st) == listing->state;
  return change;
}

void DirectoryNames::Changed(const Change& change, std::string_view added, std::string_view removed) {
  Impl& kept = impl();
  Listing* listing = change.known ? Kept(change.dir) : nullptr;
  struct stat st;
  if (listing == nullptr || ::stat(change.dir.empty() ? "." : change.dir.c_str(), &st) != 0) {
    kept.Drop(change.dir);  // what was kept may miss another program's change: read it again
    return;
  }
  if (!removed.empty()) {
    const auto found = listing->names.find(KeyOf(removed));
    if (found != listing->names.end()) {
      // Of two names that differ in case only, the one left is not known by its spelling.
      if (found->second.count > 1) return kept.Drop(change.dir);
      listing->names.erase(found);
      --kept.names;
    }
  }
  if (!added.empty()) {
    Listing::Entry& slot = listing->names[KeyOf(added)];
    if (slot.count == 0) {
      slot = Listing::Entry{std::string(added), 1};
      ++kept.names;
    } else if (slot.name != added) {
      ++slot.count;
    }
  }
  listing->state = StateOf(st);
  listing->Mark(Now());
}

}  // namespace epd::platform::detail
