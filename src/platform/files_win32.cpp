#include <windows.h>

#include <optional>
#include <utility>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"

namespace epd::platform {
namespace {

std::wstring Wide(std::string_view path) {
  std::u16string u = Cp1251ToUtf16(path);
  for (char16_t& c : u)
    if (c == u'/') c = u'\\';
  return std::wstring(u.begin(), u.end());
}

std::string Reason(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return std::string("файл или папка не найдены"_cp);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT: return std::string("доступ запрещён"_cp);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return std::string("файл занят другой программой"_cp);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return std::string("нет места на диске"_cp);
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS: return std::string("уже существует"_cp);
    default: return std::string("системная ошибка "_cp) + std::to_string(err);
  }
}

// The file's identity is its creation time: the attributes of a path give no file index.
FileStamp StampOf(DWORD size_high, DWORD size_low, const FILETIME& written, const FILETIME& created) {
  FileStamp stamp;
  stamp.size = (static_cast<std::uint64_t>(size_high) << 32) | size_low;
  const std::uint64_t t = (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  stamp.modified_ns = static_cast<std::int64_t>(t * 100);
  stamp.identity = (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
  return stamp;
}

class Win32File final : public File {
 public:
  Win32File(std::string path, HANDLE h) : File(std::move(path)), h_(h) {}
  ~Win32File() override { ::CloseHandle(h_); }

  std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t size) override {
    if (detail::ShouldFail(FileOp::kRead, path(), offset, size))
      detail::RaiseFileError(FileOp::kRead, path(), Reason(ERROR_READ_FAULT));
    std::size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
      OVERLAPPED ov{};
      std::uint64_t at = offset + done;
      ov.Offset = static_cast<DWORD>(at);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(h_, out + done, chunk, &got, &ov)) {
        DWORD err = ::GetLastError();
        if (err == ERROR_HANDLE_EOF) break;
        detail::RaiseFileError(FileOp::kRead, path(), Reason(err));
      }
      if (got == 0) break;
      done += got;
    }
    return done;
  }

  void WriteAt(std::uint64_t offset, const void* data, std::size_t size) override {
    if (detail::ShouldFail(FileOp::kWrite, path(), offset, size))
      detail::RaiseFileError(FileOp::kWrite, path(), Reason(ERROR_DISK_FULL));
    if (detail::Observed())
      detail::Tell(
          {FileOp::kWrite, SystemPath(path()), {}, offset, std::string_view(static_cast<const char*>(data), size)});
    std::size_t done = 0;
    const auto* in = static_cast<const char*>(data);
    while (done < size) {
      OVERLAPPED ov{};
      std::uint64_t at = offset + done;
      ov.Offset = static_cast<DWORD>(at);
      ov.OffsetHigh = static_cast<DWORD>(at >> 32);
      DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
      DWORD put = 0;
      if (!::WriteFile(h_, in + done, chunk, &put, &ov))
        detail::RaiseFileError(FileOp::kWrite, path(), Reason(::GetLastError()));
      done += put;
    }
  }

  std::uint64_t Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(h_, &size)) detail::RaiseFileError(FileOp::kRead, path(), Reason(::GetLastError()));
    return static_cast<std::uint64_t>(size.QuadPart);
  }

  FileStamp Stamp() override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(h_, &info))
      detail::RaiseFileError(FileOp::kRead, path(), Reason(::GetLastError()));
    return StampOf(info.nFileSizeHigh, info.nFileSizeLow, info.ftLastWriteTime, info.ftCreationTime);
  }

  void Truncate(std::uint64_t size) override {
    if (detail::ShouldFail(FileOp::kTruncate, path(), size, 0))
      detail::RaiseFileError(FileOp::kTruncate, path(), Reason(ERROR_ACCESS_DENIED));
    if (detail::Observed()) detail::Tell({FileOp::kTruncate, SystemPath(path()), {}, size});
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(h_, at, nullptr, FILE_BEGIN) || !::SetEndOfFile(h_))
      detail::RaiseFileError(FileOp::kTruncate, path(), Reason(::GetLastError()));
  }

  void Sync() override {
    if (detail::ShouldFail(FileOp::kSync, path()))
      detail::RaiseFileError(FileOp::kSync, path(), Reason(ERROR_WRITE_FAULT));
    if (detail::Observed()) detail::Tell({FileOp::kSync, SystemPath(path())});
    if (DiskSyncsSkipped()) return;
    if (!::FlushFileBuffers(h_)) detail::RaiseFileError(FileOp::kSync, path(), Reason(::GetLastError()));
  }

 private:
  HANDLE h_;
};

DWORD Attributes(std::string_view path) {
  if (IsBareName(path)) return INVALID_FILE_ATTRIBUTES;
  return ::GetFileAttributesW(Wide(path).c_str());
}

}  // namespace

std::unique_ptr<File> OpenFile(std::string_view path, FileMode mode) {
  FileOp op = mode == FileMode::kCreate ? FileOp::kCreate : FileOp::kOpen;
  if (IsBareName(path)) detail::RaiseFileError(op, path, Reason(ERROR_FILE_NOT_FOUND));
  if (detail::ShouldFail(op, path)) detail::RaiseFileError(op, path, Reason(ERROR_ACCESS_DENIED));
  DWORD access = mode == FileMode::kRead ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  DWORD disposition = mode == FileMode::kCreate ? CREATE_ALWAYS : OPEN_EXISTING;
  if (mode == FileMode::kCreate && detail::Observed()) detail::Tell({FileOp::kCreate, SystemPath(path)});
  HANDLE h = ::CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) detail::RaiseFileError(op, path, Reason(::GetLastError()));
  return std::make_unique<Win32File>(std::string(path), h);
}

bool FileExists(std::string_view path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::string_view path) {
  DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void MakeDirectory(std::string_view path) {
  if (detail::ShouldFail(FileOp::kCreateDirectory, path) || IsBareName(path))
    detail::RaiseFileError(FileOp::kCreateDirectory, path, Reason(ERROR_ACCESS_DENIED));
  if (detail::Observed()) detail::Tell({FileOp::kCreateDirectory, SystemPath(path)});
  if (!::CreateDirectoryW(Wide(path).c_str(), nullptr))
    detail::RaiseFileError(FileOp::kCreateDirectory, path, Reason(::GetLastError()));
}

void RemoveFile(std::string_view path) {
  if (detail::ShouldFail(FileOp::kRemove, path))
    detail::RaiseFileError(FileOp::kRemove, path, Reason(ERROR_ACCESS_DENIED));
  if (detail::Observed()) detail::Tell({FileOp::kRemove, SystemPath(path)});
  if (!::DeleteFileW(Wide(path).c_str())) detail::RaiseFileError(FileOp::kRemove, path, Reason(::GetLastError()));
}

void RenameFile(std::string_view from, std::string_view to) {
  if (detail::ShouldFail(FileOp::kRename, to)) detail::RaiseFileError(FileOp::kRename, to, Reason(ERROR_ACCESS_DENIED));
  if (detail::Observed()) detail::Tell({FileOp::kRename, SystemPath(from), SystemPath(to)});
  if (!::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    detail::RaiseFileError(FileOp::kRename, to, Reason(::GetLastError()));
}

// NTFS keeps directory entries in its journal, and RenameFile writes through: nothing to do but
// let a test's fault hook see the step.
void SyncDirectory(std::string_view path) {
  if (GatheredInBatch(path)) return;
  if (detail::ShouldFail(FileOp::kSyncDirectory, path))
    detail::RaiseFileError(FileOp::kSyncDirectory, path, Reason(ERROR_WRITE_FAULT));
  if (detail::Observed()) detail::Tell({FileOp::kSyncDirectory, SystemPath(path)});
}

std::optional<FileStamp> StatFile(std::string_view path) {
  if (IsBareName(path)) return std::nullopt;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return StampOf(data.nFileSizeHigh, data.nFileSizeLow, data.ftLastWriteTime, data.ftCreationTime);
}

std::string SystemPath(std::string_view path) { return Cp1251ToUtf8(path); }

std::uint64_t DirectoryListings() { return 0; }

bool StampSettled(const FileStamp& stamp) {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);  // the clock and unit of the stamps' times (100 ns since 1601)
  const std::uint64_t t = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  constexpr std::int64_t kTickNs = 2'000'000'000;  // FAT's resolution; NTFS may update lazily
  return static_cast<std::int64_t>(t * 100) - stamp.modified_ns >= kTickNs;
}

namespace {

// The volume and index of an existing file or directory; opened for no access at all, so that
// a file another program holds open is found too.
std::optional<std::pair<DWORD, std::uint64_t>> IdentityOf(std::string_view path) {
  if (IsBareName(path)) return std::nullopt;
  HANDLE h = ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  const bool known = ::GetFileInformationByHandle(h, &info) != 0;
  ::CloseHandle(h);
  if (!known) return std::nullopt;
  return std::make_pair(info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow);
}

}  // namespace

bool SameFile(std::string_view a, std::string_view b) {
  const auto x = IdentityOf(a);
  const auto y = IdentityOf(b);
  return x && y && *x == *y;
}

}  // namespace epd::platform
