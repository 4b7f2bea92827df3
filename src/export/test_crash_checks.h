#pragma once

// What the crash tests check after a pass was cut off (killed, or the power lost): every table
// reads whole in the engine and in GDAL, the host's cat_epd.dbf differs from before in DLVCHN
// only, and a pass run to its end afterwards leaves every invoice exactly once, whole, and
// delivered. Each check answers the problems it found as texts, so that a test can report
// them one by one or sum them up. Header only: included by tests, never built into the library.

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "export/test_host.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/test_disk.h"
#include "platform/text.h"
#include "tables/table_walk.h"

namespace epd::testing_support {

using Problems = std::vector<std::string>;

// Built with AddressSanitizer: every pass several times slower, so the crash tests try fewer.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

inline std::string Native(const std::string& path) { return platform::SystemPath(path); }
inline std::string Program(const std::filesystem::path& path) { return platform::Utf8ToCp1251(path.string()); }

// The whole tree below `base`, to put it back between the cuts.
inline DiskTree Take(const std::string& base) {
  namespace fs = std::filesystem;
  DiskTree tree;
  const fs::path root = Native(base);
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).generic_string();
    if (e.is_directory())
      tree.directories.insert(rel);
    else
      tree.files[rel] = ReadFile(Program(e.path()));
  }
  return tree;
}
inline void PutBack(const std::string& base, const DiskTree& tree) {
  namespace fs = std::filesystem;
  const fs::path root = Native(base);
  for (const auto& e : fs::directory_iterator(root)) fs::remove_all(e.path());
  for (const std::string& d : tree.directories) fs::create_directories(root / d);
  for (const auto& [rel, bytes] : tree.files) WriteFile(Program(root / rel), bytes);
}

inline std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

inline std::uint64_t Le(const std::string& b, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

// The header's record count and the live records among them.
using TableNumbers = std::pair<std::uint64_t, std::uint64_t>;

// One table file after a cut: the header counts whole records only, each counted record starts
// with a deletion flag, and the engine reads every live one.
inline TableNumbers CheckTable(const std::filesystem::path& file, Problems& problems) {
  const std::string bytes = ReadFile(Program(file));
  const std::string name = file.string();
  if (bytes.size() < 32) {
    problems.push_back(name + ": " + std::to_string(bytes.size()) + " bytes, no table header");
    return {0, 0};
  }
  const std::uint64_t count = Le(bytes, 4, 4), header = Le(bytes, 8, 2), record = Le(bytes, 10, 2);
  if (header + count * record > bytes.size())
    problems.push_back(
        name + ": the header counts " + std::to_string(count) + " records, the file holds " +
        std::to_string(record ? (bytes.size() - std::min<std::uint64_t>(header, bytes.size())) / record : 0));
  std::uint64_t live = 0;
  for (std::uint64_t n = 0; n < count && header + (n + 1) * record <= bytes.size(); ++n) {
    const char flag = bytes[header + n * record];
    if (flag != ' ' && flag != '*')
      problems.push_back(name + ": record " + std::to_string(n) + " has no deletion flag (byte " +
                         std::to_string(static_cast<unsigned char>(flag)) + ")");
    live += flag == ' ';
  }
  try {
    const std::size_t read = tables::ReadWholeTable(Program(file));
    if (read != live)
      problems.push_back(name + ": the engine reads " + std::to_string(read) + " of " + std::to_string(live) +
                         " live records");
  } catch (const std::exception& e) {
    problems.push_back(name + ": the engine does not read it: " + platform::Cp1251ToUtf8(e.what()));
  }
  return {count, live};
}

inline bool GdalAvailable() { return Shell("ogrinfo --version 2>&1").find("GDAL") != std::string::npos; }

// GDAL's view of the tables after the cuts: a copy of each, read in one run of ogrinfo at the
// end (one run per cut would cost more than all the rest), must show the header's record count
// and list every live record. Level 7 tables, which GDAL does not read, are left out.
class GdalCheck {
 public:
  // A table not changed since it was last added is not added again. `when` names the cut.
  void Add(const std::filesystem::path& file, TableNumbers numbers, const std::string& when) {
    const std::string bytes = ReadFile(Program(file));
    if (bytes.empty() || (bytes[0] & 0x07) == 4) return;
    std::string& last = last_[file.string()];
    if (last == bytes) return;
    last = bytes;
    const std::string name = "t" + std::to_string(expected_.size());
    std::filesystem::copy_file(file, std::filesystem::path(Native(dir_.path())) / (name + ".dbf"));
    expected_[name] = {numbers, file.filename().string() + " " + when};
  }

  // Reads every copy; false when there were copies and no ogrinfo to read them.
  bool Run(Problems& problems) {
    if (expected_.empty()) return true;
    if (!GdalAvailable()) return false;
    const std::string text = Shell("ogrinfo -ro -al '" + Native(dir_.path()) + "' 2>&1");
    std::map<std::string, std::uint64_t> counted, listed;
    std::string layer;
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      if (line.find("ERROR") != std::string::npos) problems.push_back("GDAL: " + Named(line));
      if (line.starts_with("Layer name: ")) layer = line.substr(12);
      if (line.starts_with("Feature Count: ")) counted[layer] = std::stoull(line.substr(15));
      if (line.starts_with("OGRFeature(")) ++listed[line.substr(11, line.find(')') - 11)];
    }
    for (const auto& [name, expected] : expected_) {
      const auto& [numbers, what] = expected;
      if (!counted.count(name)) problems.push_back(what + ": not read by GDAL");
      if (counted[name] != numbers.first)
        problems.push_back(what + ": GDAL counts " + std::to_string(counted[name]) + " records, the header " +
                           std::to_string(numbers.first));
      if (listed[name] != numbers.second)
        problems.push_back(what + ": GDAL lists " + std::to_string(listed[name]) + " records of " +
                           std::to_string(numbers.second) + " live");
    }
    return true;
  }
  std::size_t size() const { return expected_.size(); }

 private:
  // The line with each copy's name followed by what the copy is.
  std::string Named(std::string line) const {
    for (const auto& [name, expected] : expected_)
      if (line.find("/" + name + ".dbf") != std::string::npos) return line + " [" + expected.second + "]";
    return line;
  }

  TempDir dir_;
  std::map<std::string, std::pair<TableNumbers, std::string>> expected_;
  std::map<std::string, std::string> last_;
};

// Every table below `dir`; the ones GDAL reads are handed to `gdal` when given.
inline void CheckTables(const std::string& dir, GdalCheck* gdal, const std::string& when, Problems& problems) {
  for (const auto& e : std::filesystem::recursive_directory_iterator(Native(dir))) {
    if (!e.is_regular_file() || e.path().extension() != ".dbf") continue;
    const std::size_t known = problems.size();
    const TableNumbers numbers = CheckTable(e.path(), problems);
    // GDAL must read what the engine reads; a table the engine found damaged is reported already.
    if (gdal && problems.size() == known) gdal->Add(e.path(), numbers, when);
  }
}

// cat_epd.dbf as the host wrote it, but for DLVCHN of its records, which holds 0 or 1.
inline void CheckHostTable(const std::string& before, const std::string& now, Problems& problems) {
  if (before.size() != now.size()) {
    problems.push_back("cat_epd.dbf: " + std::to_string(now.size()) + " bytes instead of " +
                       std::to_string(before.size()));
    return;
  }
  const std::uint64_t header = Le(before, 8, 2), record = Le(before, 10, 2);
  // DLVCHN is the last column of the test host's table: the record's last byte.
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] == now[i]) continue;
    if (i < header || (i - header) % record != record - 1 || (now[i] != '0' && now[i] != '1')) {
      problems.push_back("cat_epd.dbf: byte " + std::to_string(i) + " changed to " +
                         std::to_string(static_cast<unsigned char>(now[i])));
      return;
    }
  }
}

// A host with `invoices` invoices of 1 to `max_lines` lines, all waiting in epdct.dbf.
inline std::map<int, int> MakeHost(TestHost& host, const std::string& settings, int invoices, int max_lines) {
  host.CreateTables();
  std::map<int, int> lines;
  for (int id = 1; id <= invoices; ++id) {
    lines[id] = 1 + (id * 7) % max_lines;
    host.AddInvoice(id, {{"IDSENDER", id % 3 ? "77" : "78"}, {"SENDER", std::string("ООО «Фарм»"_cp)}}, lines[id]);
  }
  WriteFile(host.epd() + "epdct.dbf", ReadFile(host.epd() + "cat_epd.dbf"));
  WriteFile(host.epd() + "epdbd.dbf", ReadFile(host.epd() + "body_epd.dbf"));
  host.Settings(std::string("bAutoExportEPD=1\n") + settings);
  if (!host.Suppliers().CreateSelList("SelList.dbf")) throw Error("cannot create SelList.dbf");
  TestHost::Append(host.data() + "SelList.dbf", {{{"idSeller", "77"}, {"Seller", "Listed"}}});
  host.answer_yes = true;
  return lines;
}

// Header and line records per IDMSG in every table below the export directory (a line record is
// one with ITEMID). A table the engine cannot read is a problem.
struct OutputRecords {
  std::map<std::string, int> headers, lines;
};
inline OutputRecords CountOutputRecords(const TestHost& host, Problems& problems) {
  OutputRecords records;
  for (const auto& e : std::filesystem::recursive_directory_iterator(Native(host.out()))) {
    if (!e.is_regular_file() || e.path().extension() != ".dbf") continue;
    try {
      for (const Row& row : TestHost::Rows(Program(e.path()))) {
        const bool is_line = row.count("ITEMID") != 0;
        ++(is_line ? records.lines : records.headers)[row.at("IDMSG")];
      }
    } catch (const std::exception& e2) {
      problems.push_back(e.path().string() + ": " + platform::Cp1251ToUtf8(e2.what()));
    }
  }
  return records;
}

// The pass run to its end: every invoice once, whole, delivered; no scratch file left.
inline void Converge(TestHost& host, const std::map<int, int>& lines, Problems& problems) {
  host.boxes.clear();
  if (!::ExportNewEPD()) {
    problems.push_back("the pass did not run");
    return;
  }
  for (const auto& box : host.boxes)
    if (box.kind != 1) problems.push_back("message: " + platform::Cp1251ToUtf8(box.text));
  for (const auto& e : std::filesystem::recursive_directory_iterator(Native(host.out())))
    if (e.is_regular_file() && e.path().extension() != ".dbf") problems.push_back(e.path().string() + " left behind");
  const OutputRecords records = CountOutputRecords(host, problems);
  for (const auto& [id, count] : lines) {
    const std::string n = std::to_string(id);
    const auto found = records.lines.find(n);
    const int got = found == records.lines.end() ? 0 : found->second;
    if (got != count)
      problems.push_back("invoice " + n + ": " + std::to_string(got) + " line records of " + std::to_string(count));
    if (!records.headers.empty()) {
      const auto header = records.headers.find(n);
      const int headers = header == records.headers.end() ? 0 : header->second;
      if (headers != 1) problems.push_back("invoice " + n + ": " + std::to_string(headers) + " header records");
    }
    try {
      const std::string delivered = host.Delivered(id);
      if (delivered != "1") problems.push_back("invoice " + n + ": DLVCHN " + delivered);
    } catch (const std::exception& e) {
      problems.push_back("cat_epd.dbf: " + platform::Cp1251ToUtf8(e.what()));
      return;
    }
  }
}

}  // namespace epd::testing_support
