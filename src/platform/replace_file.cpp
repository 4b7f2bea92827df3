#include "platform/replace_file.h"

#include <string>

#include "platform/error.h"
#include "platform/files.h"

namespace epd::platform {
namespace {

void WriteWhole(std::string_view path, std::string_view bytes, bool sync) {
  auto file = OpenFile(path, FileMode::kCreate);
  file->WriteAt(0, bytes.data(), bytes.size());
  if (sync) file->Sync();
}

// The directory a path lies in ("" for a bare name, which no file of ours has).
std::string_view FolderOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

void RemoveQuietly(const std::string& path) {
  try {
    if (FileExists(path)) RemoveFile(path);
  } catch (const Error&) {
  }
}

bool FallsBackInPlace(const ReplaceOptions& options, bool scratch_written, std::string_view path) {
  switch (options.in_place) {
    case ReplaceOptions::InPlace::kNever: return false;
    case ReplaceOptions::InPlace::kIfRenameRefused: return scratch_written && FileExists(path);
    case ReplaceOptions::InPlace::kAfterAnyFailure: return true;
  }
  return false;
}

}  // namespace

void ReplaceFile(std::string_view path, std::string_view bytes, const ReplaceOptions& options) {
  const std::string scratch = std::string(path) + std::string(options.scratch_suffix);
  bool scratch_written = false;
  bool renamed = false;
  try {
    WriteWhole(scratch, bytes, options.sync);
    scratch_written = true;
    RenameFile(scratch, path);
    renamed = true;
  } catch (const Error&) {
    if (scratch_written || !options.keep_scratch_after_failed_write) RemoveQuietly(scratch);
    if (!FallsBackInPlace(options, scratch_written, path)) throw;
  } catch (...) {  // no refusal of the system (out of memory): nothing to fall back on
    RemoveQuietly(scratch);
    throw;
  }
  if (!renamed) WriteWhole(path, bytes, options.sync);
  // The new name (or a file made in place) is lost in a power failure until the directory's
  // entries are on the disk too.
  if (options.sync) SyncDirectory(FolderOf(path));
}

}  // namespace epd::platform
