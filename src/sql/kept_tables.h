#pragma once

#include <map>
#include <memory>
#include <string>

#include "platform/files.h"
#include "tables/table_file.h"

// Table files kept open from one statement to the next, for a caller that runs many statements
// on the same tables (the automatic pass runs three on the host's tables for every invoice). A
// kept file serves a statement while its path shows the stamp it had when the last statement
// was done with it: a file replaced under the same name, or changed by another program, is
// opened anew, so every statement still sees the table as it is now.
namespace epd::sql {

class KeptTables {
 public:
  // The file at `path` (as the statement names it, resolved), open for at least `access`.
  std::shared_ptr<tables::TableFile> Get(const std::string& path, tables::TableFile::Access access);
  // A statement wrote to the file: its own change is no change underneath.
  void Wrote(const std::string& path);

 private:
  struct Kept {
    std::shared_ptr<tables::TableFile> file;
    platform::FileStamp stamp;
    tables::TableFile::Access access = tables::TableFile::Access::kRead;
  };
  std::map<std::string, Kept> files_;
};

}  // namespace epd::sql
