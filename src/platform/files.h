#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Files and paths. Every path the program builds is code page 1251 text with "\" separators,
// made by plain concatenation onto directories that end in a backslash. This layer converts at
// the boundary: on POSIX "\" becomes "/", the text becomes UTF-8, and a path component whose
// letter case differs from the name on disk is still found (host folders copied from Windows are
// often upper case); on Windows the wide (UTF-16) APIs are used, so any system locale works, and
// files are opened with read, write and delete sharing because the host keeps its tables open.
//
// Failures raise epd::Error with a Russian text that names the file.
namespace epd::platform {

enum class FileMode {
  kRead,       // existing file, read only
  kReadWrite,  // existing file, read and write
  kCreate,     // create, or truncate an existing file; read and write
};

// What tells whether a file changed behind our back.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;
  std::uint64_t identity = 0;  // device and inode / creation time
  bool operator==(const FileStamp&) const = default;
};

class File {
 public:
  virtual ~File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads up to `size` bytes at `offset`; fewer only at the end of the file.
  virtual std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) = 0;
  // Writes all `size` bytes at `offset` or raises.
  virtual void WriteAt(std::uint64_t offset, const void* data, std::size_t size) = 0;
  virtual std::uint64_t Size() = 0;
  // The stamp of the open file, as StatFile gives it for its path, in one call.
  virtual FileStamp Stamp() = 0;
  virtual void Truncate(std::uint64_t size) = 0;
  // Hands written data to the disk (fsync / FlushFileBuffers).
  virtual void Sync() = 0;

  const std::string& path() const { return path_; }

 protected:
  explicit File(std::string path) : path_(std::move(path)) {}

 private:
  std::string path_;
};

std::unique_ptr<File> OpenFile(std::string_view path, FileMode mode);

bool FileExists(std::string_view path);       // an existing regular file
bool DirectoryExists(std::string_view path);  // an existing directory
// Creates one directory level; raises when it cannot.
void MakeDirectory(std::string_view path);
void RemoveFile(std::string_view path);
// Moves `from` over `to`, replacing it.
void RenameFile(std::string_view from, std::string_view to);
// Hands the directory's entries to the disk, so that a file created, renamed or removed in it is
// found so after a power failure (POSIX: fsync of the directory; Windows keeps its directories'
// entries in the file system's journal and writes renames through, so there it does nothing).
void SyncDirectory(std::string_view path);

// Folder syncs gathered, for a caller that makes many files before it relies on any of them:
// while a batch lives, SyncDirectory only notes the folder, and Flush syncs each folder noted
// once, in the order they were first noted (the fault hook sees those syncs). What is not flushed
// when the batch ends is not synced. Batches nest: the innermost gathers.
class DirectorySyncBatch {
 public:
  DirectorySyncBatch();
  ~DirectorySyncBatch();
  DirectorySyncBatch(const DirectorySyncBatch&) = delete;
  DirectorySyncBatch& operator=(const DirectorySyncBatch&) = delete;

  // Raises as SyncDirectory does; the folders not yet synced stay noted.
  void Flush();
  bool empty() const { return folders_.empty(); }

 private:
  friend bool GatheredInBatch(std::string_view folder);
  std::vector<std::string> folders_;
  DirectorySyncBatch* outer_;
};

std::optional<FileStamp> StatFile(std::string_view path);
// True when the stamp's modification time lies far enough in the past that a later change of the
// file shows in its stamp: file systems keep times in ticks (two seconds on FAT), and two writes
// within one tick may leave the same time and size. A stamp taken within a tick of a change
// proves nothing when it is seen again.
bool StampSettled(const FileStamp& stamp);

// True when both paths name one existing file or directory, whatever their spelling or the links
// between them: the same device and inode (POSIX), the same volume serial number and file index
// (Windows). False when either does not exist.
bool SameFile(std::string_view a, std::string_view b);

// The path as the operating system sees it, in UTF-8 (POSIX: separators and letter case
// resolved). For messages and tools.
std::string SystemPath(std::string_view path);

// True when the path names no directory at all ("export_epd.ini"). Such bare names are never
// looked up in the process's current or system directory.
bool IsBareName(std::string_view path);

// Fault injection for tests: when a hook is set, every file operation asks it first, and a
// true answer makes the operation fail exactly as a refusal of the system would. `offset` and
// `size` describe reads and writes; other operations pass 0.
enum class FileOp {
  kOpen,
  kCreate,
  kRead,
  kWrite,
  kTruncate,
  kSync,
  kRename,
  kRemove,
  kCreateDirectory,
  kSyncDirectory,
};
using FaultHook = std::function<bool(FileOp op, std::string_view path, std::uint64_t offset, std::size_t size)>;
void SetFaultHook(FaultHook hook);

// Recording for tests, beside the fault hook: when an observer is set, every operation that
// changes what a disk holds is told to it after the fault hook let it through and just before
// the system is asked to make it, with the bytes of a write. The power-loss test records so
// what reached the system and what was synced, and ends the process inside the observer to
// stop before a chosen change, which is then never made, as when the power fails.
//
// Paths are as SystemPath gives them (POSIX: letter case resolved), so that one file is one
// name whatever the spelling that reached it; a change through an open File names the path the
// file was opened by. Opens and reads change nothing and are not told. A change is told before
// the system answers: one it then refuses was told all the same. Without an observer the cost
// is one test of an empty function per change.
struct FileChange {
  // kCreate (a new file, or an existing one truncated), kWrite, kTruncate, kSync, kRename,
  // kRemove, kCreateDirectory or kSyncDirectory.
  FileOp op;
  std::string_view path;       // the file or directory changed; a rename's source
  std::string_view to = {};    // a rename's target
  std::uint64_t offset = 0;    // where a write begins; the size a truncation leaves
  std::string_view data = {};  // the bytes of a write
};
using FileObserver = std::function<void(const FileChange& change)>;
void SetFileObserver(FileObserver observer);

// Tests and benchmarks only, never the product: File::Sync and SyncDirectory still ask the fault
// hook and are seen as steps, but hand nothing to the disk. The test programs run so (syncs cost
// milliseconds each and prove nothing more there); the benchmark compares a pass with and
// without them.
void SkipDiskSyncsForTests(bool skip);
bool DiskSyncsSkipped();

// How many times a directory was read whole to find a name in another letter case (POSIX; 0 on
// Windows, which finds names so itself). For tests and benchmarks.
std::uint64_t DirectoryListings();

// SyncDirectory's first step: true when a batch took the folder.
bool GatheredInBatch(std::string_view folder);

namespace detail {
bool ShouldFail(FileOp op, std::string_view path, std::uint64_t offset = 0, std::size_t size = 0);
// True when an observer is set: a caller that must build the path first asks this before.
bool Observed();
void Tell(const FileChange& change);
[[noreturn]] void RaiseFileError(FileOp op, std::string_view path, std::string_view reason);
}  // namespace detail

}  // namespace epd::platform
