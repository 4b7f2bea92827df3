#include "platform/files.h"

#include "platform/error.h"
#include "platform/text.h"

namespace epd::platform {
namespace {

FaultHook& Hook() {
  static FaultHook hook;
  return hook;
}

FileObserver& Observer() {
  static FileObserver observer;
  return observer;
}

DirectorySyncBatch*& CurrentBatch() {
  static DirectorySyncBatch* batch = nullptr;
  return batch;
}

bool& SyncsSkipped() {
  static bool skipped = false;
  return skipped;
}

}  // namespace

void SetFaultHook(FaultHook hook) { Hook() = std::move(hook); }
void SetFileObserver(FileObserver observer) { Observer() = std::move(observer); }

DirectorySyncBatch::DirectorySyncBatch() : outer_(CurrentBatch()) { CurrentBatch() = this; }

DirectorySyncBatch::~DirectorySyncBatch() {
  if (CurrentBatch() == this) CurrentBatch() = outer_;
}

void DirectorySyncBatch::Flush() {
  // The syncs themselves are not gathered again.
  DirectorySyncBatch* const gathering = CurrentBatch();
  CurrentBatch() = outer_;
  try {
    while (!folders_.empty()) {
      SyncDirectory(folders_.front());
      folders_.erase(folders_.begin());
    }
  } catch (...) {
    CurrentBatch() = gathering;
    throw;
  }
  CurrentBatch() = gathering;
}

bool GatheredInBatch(std::string_view folder) {
  DirectorySyncBatch* batch = CurrentBatch();
  if (batch == nullptr) return false;
  for (const std::string& noted : batch->folders_)
    if (noted == folder) return true;
  batch->folders_.emplace_back(folder);
  return true;
}

void SkipDiskSyncsForTests(bool skip) { SyncsSkipped() = skip; }
bool DiskSyncsSkipped() { return SyncsSkipped(); }

bool IsBareName(std::string_view path) { return path.find_first_of("\\/:") == std::string_view::npos; }

namespace detail {

bool ShouldFail(FileOp op, std::string_view path, std::uint64_t offset, std::size_t size) {
  const FaultHook& hook = Hook();
  return hook && hook(op, path, offset, size);
}

bool Observed() { return static_cast<bool>(Observer()); }

void Tell(const FileChange& change) {
  const FileObserver& observer = Observer();
  if (observer) observer(change);
}

void RaiseFileError(FileOp op, std::string_view path, std::string_view reason) {
  std::string_view what;
  switch (op) {
    case FileOp::kOpen: what = "Не удалось открыть файл "_cp; break;
    case FileOp::kCreate: what = "Не удалось создать файл "_cp; break;
    case FileOp::kRead: what = "Ошибка чтения файла "_cp; break;
    case FileOp::kWrite: what = "Ошибка записи в файл "_cp; break;
    case FileOp::kTruncate: what = "Не удалось изменить размер файла "_cp; break;
    case FileOp::kSync: what = "Не удалось сохранить на диск файл "_cp; break;
    case FileOp::kRename: what = "Не удалось переименовать файл "_cp; break;
    case FileOp::kRemove: what = "Не удалось удалить файл "_cp; break;
    case FileOp::kCreateDirectory: what = "Не удалось создать папку "_cp; break;
    case FileOp::kSyncDirectory: what = "Не удалось сохранить на диск папку "_cp; break;
  }
  std::string message(what);
  message += path;
  if (!reason.empty()) {
    message += ": ";
    message += reason;
  }
  throw Error(message);
}

}  // namespace detail
}  // namespace epd::platform
