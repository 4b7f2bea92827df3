#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The tool's commands. Each returns the exit code or raises Failure; texts are UTF-8.
namespace epd::tool {

int RunExport(const std::string& base, const std::vector<std::int32_t>& ids, const std::string& replace);
int RunExportNew(const std::string& base, const std::string& replace);

int RunSettingsShow(const std::string& base);
int RunSettingsGet(const std::string& base, const std::string& section, const std::string& key);
int RunSettingsSet(const std::string& base, const std::string& section, const std::string& key,
                   const std::string& value);

int RunMappingShow(const std::string& base);
int RunMappingSet(const std::string& base, const std::string& key, const std::vector<std::string>& assignments);

int RunSuppliersList(const std::string& base);
int RunSuppliersAdd(const std::string& base, std::int32_t id);
int RunSuppliersRemove(const std::string& base, std::int32_t id);

// Checks the set-up of the host as an export meets it; 0 when an export would work.
int RunDoctor(const std::string& base);

struct DbfOptions {
  std::vector<std::string> files;
  std::string codepage = "auto";  // auto, 1251 or 866
  std::vector<std::string> columns;
  bool structure = true;
  bool rows = true;
  int limit = 0;                      // 0 = every row
  bool csv = false;                   // the rows as CSV instead of the aligned display
  std::string csv_codepage = "utf8";  // utf8 (with a byte-order mark) or 1251
  char separator = ',';
};
int RunDbf(const DbfOptions& options);

}  // namespace epd::tool
