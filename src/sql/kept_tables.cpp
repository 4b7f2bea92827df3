#include "sql/kept_tables.h"

namespace epd::sql {

using tables::TableFile;

std::shared_ptr<TableFile> KeptTables::Get(const std::string& path, TableFile::Access access) {
  Kept& kept = files_[path];
  if (kept.file) {
    const bool enough = kept.access == TableFile::Access::kReadWrite || access == TableFile::Access::kRead;
    const std::optional<platform::FileStamp> now = platform::StatFile(path);
    if (enough && now && *now == kept.stamp) return kept.file;
  }
  kept.file.reset();
  std::shared_ptr<TableFile> file = TableFile::Open(path, access);
  kept.stamp = file->file().Stamp();
  kept.access = access;
  kept.file = file;
  return file;
}

void KeptTables::Wrote(const std::string& path) {
  const auto found = files_.find(path);
  if (found == files_.end() || !found->second.file) return;
  try {
    found->second.stamp = found->second.file->file().Stamp();
  } catch (...) {
    files_.erase(found);  // opened anew by the next statement
  }
}

}  // namespace epd::sql
