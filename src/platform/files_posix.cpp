#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/codepage.h"
#include "platform/directory_names_posix.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"

namespace epd::platform {
namespace {

std::string Reason(int err) {
  switch (err) {
    case ENOENT: return std::string("файл или папка не найдены"_cp);
    case EACCES:
    case EPERM:
    case EROFS: return std::string("доступ запрещён"_cp);
    case ENOSPC:
    case EDQUOT: return std::string("нет места на диске"_cp);
    case EISDIR: return std::string("это папка, а не файл"_cp);
    case ENOTDIR: return std::string("часть пути не является папкой"_cp);
    case EEXIST: return std::string("уже существует"_cp);
    case EIO: return std::string("ошибка ввода-вывода"_cp);
    default: return std::string("системная ошибка "_cp) + std::to_string(err);
  }
}

std::string Join(const std::string& dir, std::string_view name) {
  if (dir.empty()) return std::string(name);
  return dir == "/" ? "/" + std::string(name) : dir + "/" + std::string(name);
}

// The directory part and the last component of a path as Normalise writes it.
std::string ParentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}
std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// `name` in `dir` as the directory spells it, ignoring letter case (code page 1251 terms), from
// the listing kept of the directory while it provably has not changed; nothing when there is no
// such entry. `dir_stat` is what stat(2) says of `dir`.
std::optional<std::string> FindIgnoringCase(const std::string& dir, const struct stat& dir_stat,
                                            std::string_view name) {
  if (!S_ISDIR(dir_stat.st_mode)) return std::nullopt;
  std::optional<std::string> entry = detail::DirectoryNames::Instance().Find(dir, dir_stat, name);
  if (!entry) return std::nullopt;
  return Join(dir, *entry);
}

// Finds `name` in `dir`, first as spelled, then ignoring letter case.
std::string FindEntry(const std::string& dir, const std::string& name) {
  std::string exact = Join(dir, name);
  struct stat st;
  if (::lstat(exact.c_str(), &st) == 0) return exact;
  if (::stat(dir.empty() ? "." : dir.c_str(), &st) != 0) return exact;
  return FindIgnoringCase(dir, st, name).value_or(exact);
}

// The path with "/" separators, doubled and trailing separators dropped, each component as
// spelled.
std::string Normalise(std::string_view path) {
  std::string utf8 = Cp1251ToUtf8(path);
  std::string out;
  if (!utf8.empty() && (utf8[0] == '/' || utf8[0] == '\\')) out = "/";
  std::size_t pos = 0;
  while (pos <= utf8.size()) {
    std::size_t end = utf8.find_first_of("/\\", pos);
    if (end == std::string::npos) end = utf8.size();
    if (end > pos) {
      if (!out.empty() && out.back() != '/') out += '/';
      out.append(utf8, pos, end - pos);
    }
    pos = end + 1;
  }
  return out.empty() ? "." : out;
}

// `found`, when given, receives what stat(2) would say of the resolved path where that is known
// already (the path exists as spelled and is no symbolic link), and is cleared otherwise.
// `exists`, when given, tells whether the resolved path names an entry.
std::string Resolve(std::string_view path, std::optional<struct stat>* found = nullptr, bool* exists = nullptr) {
  // A path that exists as spelled is its own resolution: one system call instead of a walk.
  std::string spelled = Normalise(path);
  struct stat st;
  if (found) found->reset();
  if (exists) *exists = false;
  if (::lstat(spelled.c_str(), &st) == 0) {
    if (found && !S_ISLNK(st.st_mode)) *found = st;
    if (exists) *exists = true;
    return spelled;
  }
  // Most misses are a name not made yet in a folder that exists as spelled: only the last
  // component is looked for, in the folder's kept listing.
  const std::string last = NameOf(spelled);
  if (errno == ENOENT && last != "." && last != "..") {
    const std::string parent = ParentOf(spelled);
    if (::stat(parent.empty() ? "." : parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      std::optional<std::string> entry = FindIgnoringCase(parent, st, last);
      if (exists) *exists = entry.has_value();
      return entry ? *entry : spelled;
    }
  }

  std::string utf8 = Cp1251ToUtf8(path);
  for (char& c : utf8)
    if (c == '\\') c = '/';
  std::string result;
  std::size_t pos = 0;
  if (!utf8.empty() && utf8[0] == '/') {
    result = "/";
    pos = 1;
  }
  bool resolving = true;
  while (pos <= utf8.size()) {
    std::size_t slash = utf8.find('/', pos);
    if (slash == std::string::npos) slash = utf8.size();
    std::string part = utf8.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty()) continue;  // doubled or trailing separators
    if (part == "." || part == ".." || !resolving) {
      result = result.empty() ? part : Join(result, part);
      continue;
    }
    std::string next = FindEntry(result, part);
    if (::lstat(next.c_str(), &st) != 0) resolving = false;  // the rest does not exist yet
    result = std::move(next);
  }
  if (result.empty()) result = ".";
  if (exists) *exists = resolving;
  return result;
}

FileStamp StampOf(const struct stat& st) {
  FileStamp stamp;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.modified_ns = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  stamp.identity = (static_cast<std::uint64_t>(st.st_dev) << 40) ^ static_cast<std::uint64_t>(st.st_ino);
  return stamp;
}

class PosixFile final : public File {
 public:
  // `native` is the path the file was opened by, for the file observer.
  PosixFile(std::string path, std::string native, int fd)
      : File(std::move(path)), native_(std::move(native)), fd_(fd) {}
  ~PosixFile() override { ::close(fd_); }

  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (detail::ShouldFail(FileOp::kRead, path(), offset, size))
      detail::RaiseFileError(FileOp::kRead, path(), Reason(EIO));
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
      ssize_t n = ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        detail::RaiseFileError(FileOp::kRead, path(), Reason(errno));
      }
      if (n == 0) break;
      done += static_cast<std::size_t>(n);
    }
    return done;
  }

  void WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    if (detail::ShouldFail(FileOp::kWrite, path(), offset, size))
      detail::RaiseFileError(FileOp::kWrite, path(), Reason(ENOSPC));
    detail::Tell({FileOp::kWrite, native_, {}, offset, std::string_view(static_cast<const char*>(data), size)});
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(data);
    while (done < size) {
      ssize_t n = ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0) {
        if (errno == EINTR) continue;
        detail::RaiseFileError(FileOp::kWrite, path(), Reason(errno));
      }
      done += static_cast<std::size_t>(n);
    }
  }

  std::uint64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) detail::RaiseFileError(FileOp::kRead, path(), Reason(errno));
    return static_cast<std::uint64_t>(st.st_size);
  }

  FileStamp Stamp() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) detail::RaiseFileError(FileOp::kRead, path(), Reason(errno));
    return StampOf(st);
  }

  void Truncate(std::uint64_t size) override {
    if (detail::ShouldFail(FileOp::kTruncate, path(), size, 0))
      detail::RaiseFileError(FileOp::kTruncate, path(), Reason(EIO));
    detail::Tell({FileOp::kTruncate, native_, {}, size});
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
      detail::RaiseFileError(FileOp::kTruncate, path(), Reason(errno));
  }

  void Sync() override {
    if (detail::ShouldFail(FileOp::kSync, path())) detail::RaiseFileError(FileOp::kSync, path(), Reason(EIO));
    detail::Tell({FileOp::kSync, native_});
    if (DiskSyncsSkipped()) return;
    if (::fsync(fd_) != 0) detail::RaiseFileError(FileOp::kSync, path(), Reason(errno));
  }

 private:
  std::string native_;
  int fd_;
};

}  // namespace

std::unique_ptr<File> OpenFile(std::string_view path, FileMode mode) {
  FileOp op = mode == FileMode::kCreate ? FileOp::kCreate : FileOp::kOpen;
  if (IsBareName(path)) detail::RaiseFileError(op, path, Reason(ENOENT));
  if (detail::ShouldFail(op, path)) detail::RaiseFileError(op, path, Reason(EACCES));
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileMode::kRead: flags |= O_RDONLY; break;
    case FileMode::kReadWrite: flags |= O_RDWR; break;
    case FileMode::kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  // An existing file is opened as spelled when it exists so, which is what Resolve would find
  // first; only a miss walks the components. A new file needs the walk first, so that it is not
  // created beside one whose name differs only in case.
  int fd = -1;
  std::string native;
  if (mode != FileMode::kCreate) {
    native = Normalise(path);
    fd = ::open(native.c_str(), flags);
    if (fd < 0 && errno != ENOENT && errno != ENOTDIR) detail::RaiseFileError(op, path, Reason(errno));
  }
  if (fd < 0) {
    bool exists = false;
    native = Resolve(path, nullptr, &exists);
    const bool creating = mode == FileMode::kCreate && !exists;
    auto& names = detail::DirectoryNames::Instance();
    const auto change = creating ? names.Begin(ParentOf(native)) : detail::DirectoryNames::Change{};
    if (mode == FileMode::kCreate) detail::Tell({FileOp::kCreate, native});
    fd = ::open(native.c_str(), flags, 0666);
    if (fd >= 0 && creating) names.Changed(change, NameOf(native), {});
  }
  if (fd < 0) detail::RaiseFileError(op, path, Reason(errno));
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    detail::RaiseFileError(op, path, Reason(EISDIR));
  }
  return std::make_unique<PosixFile>(std::string(path), std::move(native), fd);
}

std::uint64_t DirectoryListings() { return detail::DirectoryNames::Instance().listings(); }

namespace {

// What stat(2) says of the path as resolved; nothing when it does not exist. A path that exists
// as spelled costs one call.
std::optional<struct stat> StatResolved(std::string_view path) {
  std::optional<struct stat> known;
  const std::string native = Resolve(path, &known);
  if (known) return known;
  struct stat st;
  if (::stat(native.c_str(), &st) != 0) return std::nullopt;
  return st;
}

}  // namespace

bool FileExists(std::string_view path) {
  if (IsBareName(path)) return false;
  const std::optional<struct stat> st = StatResolved(path);
  return st && S_ISREG(st->st_mode);
}

bool DirectoryExists(std::string_view path) {
  if (IsBareName(path)) return false;
  const std::optional<struct stat> st = StatResolved(path);
  return st && S_ISDIR(st->st_mode);
}

// The library's own change to a directory, applied to what is kept of its names.
class DirectoryChange {
 public:
  explicit DirectoryChange(const std::string& native)
      : change_(detail::DirectoryNames::Instance().Begin(ParentOf(native))) {}
  void Done(const std::string& added, const std::string& removed) {
    detail::DirectoryNames::Instance().Changed(change_, added.empty() ? "" : NameOf(added),
                                               removed.empty() ? "" : NameOf(removed));
  }

 private:
  detail::DirectoryNames::Change change_;
};

void MakeDirectory(std::string_view path) {
  if (detail::ShouldFail(FileOp::kCreateDirectory, path))
    detail::RaiseFileError(FileOp::kCreateDirectory, path, Reason(EACCES));
  const std::string native = Resolve(path);
  DirectoryChange change(native);
  detail::Tell({FileOp::kCreateDirectory, native});
  if (::mkdir(native.c_str(), 0777) != 0) detail::RaiseFileError(FileOp::kCreateDirectory, path, Reason(errno));
  change.Done(native, {});
}

void SyncDirectory(std::string_view path) {
  if (GatheredInBatch(path)) return;
  if (detail::ShouldFail(FileOp::kSyncDirectory, path))
    detail::RaiseFileError(FileOp::kSyncDirectory, path, Reason(EIO));
  const std::string native = Resolve(path);
  detail::Tell({FileOp::kSyncDirectory, native});
  const int fd = ::open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) detail::RaiseFileError(FileOp::kSyncDirectory, path, Reason(errno));
  const int synced = DiskSyncsSkipped() ? 0 : ::fsync(fd);
  const int err = errno;
  ::close(fd);
  if (synced != 0) detail::RaiseFileError(FileOp::kSyncDirectory, path, Reason(err));
}

void RemoveFile(std::string_view path) {
  if (detail::ShouldFail(FileOp::kRemove, path)) detail::RaiseFileError(FileOp::kRemove, path, Reason(EACCES));
  const std::string native = Resolve(path);
  DirectoryChange change(native);
  detail::Tell({FileOp::kRemove, native});
  if (::unlink(native.c_str()) != 0) detail::RaiseFileError(FileOp::kRemove, path, Reason(errno));
  change.Done({}, native);
}

void RenameFile(std::string_view from, std::string_view to) {
  if (detail::ShouldFail(FileOp::kRename, to)) detail::RaiseFileError(FileOp::kRename, to, Reason(EACCES));
  bool target_exists = false;
  const std::string source = Resolve(from), target = Resolve(to, nullptr, &target_exists);
  const std::string added = target_exists ? std::string() : target;
  if (ParentOf(source) == ParentOf(target)) {
    DirectoryChange change(source);
    detail::Tell({FileOp::kRename, source, target});
    if (::rename(source.c_str(), target.c_str()) != 0) detail::RaiseFileError(FileOp::kRename, to, Reason(errno));
    change.Done(added, source);
  } else {
    DirectoryChange leaving(source), arriving(target);
    detail::Tell({FileOp::kRename, source, target});
    if (::rename(source.c_str(), target.c_str()) != 0) detail::RaiseFileError(FileOp::kRename, to, Reason(errno));
    leaving.Done({}, source);
    arriving.Done(added, {});
  }
}

std::optional<FileStamp> StatFile(std::string_view path) {
  const std::optional<struct stat> st = StatResolved(path);
  if (!st) return std::nullopt;
  return StampOf(*st);
}

bool StampSettled(const FileStamp& stamp) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);  // the clock file systems stamp with
  const std::int64_t ns = static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  return ns - stamp.modified_ns >= detail::DirectoryNames::kUnsettledNs;
}

bool SameFile(std::string_view a, std::string_view b) {
  if (IsBareName(a) || IsBareName(b)) return false;
  const std::optional<struct stat> x = StatResolved(a);
  const std::optional<struct stat> y = StatResolved(b);
  return x && y && x->st_dev == y->st_dev && x->st_ino == y->st_ino;
}

std::string SystemPath(std::string_view path) { return Resolve(path); }

}  // namespace epd::platform
