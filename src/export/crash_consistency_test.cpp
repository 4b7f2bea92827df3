// Crash consistency. The automatic pass runs in a child process and is killed (SIGKILL): before
// each single change it makes to a file in turn, over a small host, and at random moments of a
// pass over a larger one. After every kill each output table opens in the engine and in GDAL
// (the levels GDAL reads), its header counts only whole records, every counted record reads, and
// the host's cat_epd.dbf differs from before in DLVCHN only. A pass run to its end afterwards,
// answering Yes to the replace question, leaves every invoice exactly once, whole, and marked
// delivered: a kill never costs more than running the pass again.
//
// EPD_CRASH_ROUNDS sets the number of random kills per mode (default 12, 4 under the sanitizers).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "export/test_host.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/text.h"
#include "suppliers/supplier_tables.h"
#include "tables/table_walk.h"

namespace epd::exporter {
namespace {

namespace fs = std::filesystem;

// Under the sanitizers every pass is several times slower: a smaller large pass, fewer kills.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif
using testing_support::Row;
using testing_support::TestHost;

struct Mode {
  const char* name;
  const char* settings;
  bool gdal_reads_outputs;  // the DBF writer's levels; GDAL does not read level 7
};
const Mode kModes[] = {
    {"two files, own writer, code replacement", "lavel=5\n[Settings]\nbchangecncode=1\nlevel=4\n", true},
    {"one file per invoice, made by the engine", "singlefile=1\nmanyfiles=1\nlavel=7\n", false},
    {"two files per invoice in supplier folders", "manyfiles=1\nseller=1\nlavel=5\n[Settings]\nlevel=5\n", true},
};

std::string Native(const std::string& path) { return platform::SystemPath(path); }
std::string Program(const fs::path& path) { return platform::Utf8ToCp1251(path.string()); }

// The whole host directory, to put it back between the kills of the sweep.
struct Snapshot {
  std::vector<std::string> directories;
  std::map<std::string, std::string> files;
};
Snapshot Take(const std::string& base) {
  Snapshot s;
  const fs::path root = Native(base);
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).generic_string();
    if (e.is_directory())
      s.directories.push_back(rel);
    else
      s.files[rel] = testing_support::ReadFile(Program(e.path()));
  }
  return s;
}
void PutBack(const std::string& base, const Snapshot& s) {
  const fs::path root = Native(base);
  for (const auto& e : fs::directory_iterator(root)) fs::remove_all(e.path());
  for (const std::string& d : s.directories) fs::create_directories(root / d);
  for (const auto& [rel, bytes] : s.files) testing_support::WriteFile(Program(root / rel), bytes);
}

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p)) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

std::uint64_t Le(const std::string& b, std::size_t at, int bytes) {
  std::uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

// One table file after a kill: the header counts whole records only, each counted record starts
// with a deletion flag, and the engine reads every live one. Answers (header count, live count).
std::pair<std::uint64_t, std::uint64_t> CheckTable(const fs::path& file) {
  const std::string bytes = testing_support::ReadFile(Program(file));
  EXPECT_GE(bytes.size(), 32u) << file;
  if (bytes.size() < 32) return {0, 0};
  const std::uint64_t count = Le(bytes, 4, 4), header = Le(bytes, 8, 2), record = Le(bytes, 10, 2);
  EXPECT_LE(header + count * record, bytes.size()) << file << ": the header counts a record the file lacks";
  std::uint64_t live = 0;
  for (std::uint64_t n = 0; n < count && header + (n + 1) * record <= bytes.size(); ++n) {
    const char flag = bytes[header + n * record];
    EXPECT_TRUE(flag == ' ' || flag == '*') << file << " record " << n;
    live += flag == ' ';
  }
  std::size_t read = 0;
  EXPECT_NO_THROW(read = tables::ReadWholeTable(Program(file))) << file;
  EXPECT_EQ(read, live) << file;
  return {count, live};
}

// GDAL's view of the tables after the kills: a copy of each, read in one run of ogrinfo at the
// end (one run per kill would cost more than all the rest), must show the header's record count
// and list every live record.
class GdalCheck {
 public:
  // A table not changed since it was last added is not added again.
  void Add(const fs::path& file, std::pair<std::uint64_t, std::uint64_t> numbers) {
    const std::string stamp = testing_support::ReadFile(Program(file));
    std::string& last = last_[file.string()];
    if (last == stamp) return;
    last = stamp;
    const std::string name = "t" + std::to_string(expected_.size());
    fs::copy_file(file, fs::path(Native(dir_.path())) / (name + ".dbf"));
    expected_[name] = {numbers, file.filename().string() + " after kill " + std::to_string(kill_)};
  }
  void NextKill() { ++kill_; }

  void Run() {
    if (expected_.empty()) return;
    ASSERT_NE(Shell("ogrinfo --version 2>&1").find("GDAL"), std::string::npos)
        << "GDAL's ogrinfo is needed (gdal-bin, installed by scripts/setup.sh)";
    const std::string text = Shell("ogrinfo -ro -al '" + Native(dir_.path()) + "' 2>&1");
    std::map<std::string, std::uint64_t> counted, listed;
    std::string layer;
    std::size_t pos = 0;
    while (pos < text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(pos, end - pos);
      pos = end + 1;
      EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
      if (line.starts_with("Layer name: ")) layer = line.substr(12);
      if (line.starts_with("Feature Count: ")) counted[layer] = std::stoull(line.substr(15));
      if (line.starts_with("OGRFeature(")) ++listed[line.substr(11, line.find(')') - 11)];
    }
    for (const auto& [name, expected] : expected_) {
      const auto& [numbers, what] = expected;
      EXPECT_TRUE(counted.count(name)) << what << ": not read by GDAL";
      EXPECT_EQ(counted[name], numbers.first) << what << ": GDAL's record count";
      EXPECT_EQ(listed[name], numbers.second) << what << ": records GDAL lists";
    }
  }
  std::size_t size() const { return expected_.size(); }

 private:
  testing_support::TempDir dir_;
  std::map<std::string, std::pair<std::pair<std::uint64_t, std::uint64_t>, std::string>> expected_;
  int kill_ = 0;
  std::map<std::string, std::string> last_;
};

// Every table below the export directory; the ones GDAL reads are handed to `gdal`.
void CheckOutputs(const std::string& out, GdalCheck* gdal) {
  for (const auto& e : fs::recursive_directory_iterator(Native(out))) {
    if (!e.is_regular_file() || e.path().extension() != ".dbf") continue;
    const auto numbers = CheckTable(e.path());
    if (gdal) gdal->Add(e.path(), numbers);
  }
  if (gdal) gdal->NextKill();
}

// cat_epd.dbf as the host wrote it, but for DLVCHN of its records, which holds 0 or 1.
void CheckHostTable(const std::string& before, const std::string& now) {
  ASSERT_EQ(before.size(), now.size());
  const std::uint64_t header = Le(before, 8, 2), record = Le(before, 10, 2);
  // DLVCHN is the last column of the test host's table: the record's last byte.
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] == now[i]) continue;
    ASSERT_GE(i, header);
    EXPECT_EQ((i - header) % record, record - 1) << "byte " << i;
    EXPECT_TRUE(now[i] == '0' || now[i] == '1') << "byte " << i;
  }
}

// A host with `invoices` invoices of 1 to `max_lines` lines, all waiting in epdct.dbf.
std::map<int, int> MakeHost(TestHost& host, const Mode& mode, int invoices, int max_lines) {
  host.CreateTables();
  std::map<int, int> lines;
  for (int id = 1; id <= invoices; ++id) {
    lines[id] = 1 + (id * 7) % max_lines;
    host.AddInvoice(id, {{"IDSENDER", id % 3 ? "77" : "78"}, {"SENDER", std::string("ООО «Фарм»"_cp)}}, lines[id]);
  }
  testing_support::WriteFile(host.epd() + "epdct.dbf", testing_support::ReadFile(host.epd() + "cat_epd.dbf"));
  testing_support::WriteFile(host.epd() + "epdbd.dbf", testing_support::ReadFile(host.epd() + "body_epd.dbf"));
  host.Settings(std::string("bAutoExportEPD=1\n") + mode.settings);
  EXPECT_TRUE(host.Suppliers().CreateSelList("SelList.dbf"));
  TestHost::Append(host.data() + "SelList.dbf", {{{"idSeller", "77"}, {"Seller", "Listed"}}});
  host.answer_yes = true;
  return lines;
}

// Runs the pass in a child: `kill_before` > 0 kills it just before its kill_before-th change to a
// file, `kill_after` after that time if it is still running. True when it was killed.
bool RunKilled(int kill_before, std::optional<std::chrono::microseconds> kill_after = std::nullopt) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    int changes = 0;
    if (kill_before > 0) {
      platform::SetFaultHook([&](platform::FileOp op, std::string_view, std::uint64_t, std::size_t) {
        if (op != platform::FileOp::kRead && op != platform::FileOp::kOpen && ++changes == kill_before)
          ::kill(::getpid(), SIGKILL);
        return false;
      });
    }
    ::ExportNewEPD();
    ::_exit(0);
  }
  if (kill_after) {
    std::this_thread::sleep_for(*kill_after);
    ::kill(pid, SIGKILL);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

// The pass run to its end: every invoice once, whole, delivered; no scratch file left.
void ExpectConverged(TestHost& host, const std::map<int, int>& lines) {
  host.boxes.clear();
  ASSERT_TRUE(::ExportNewEPD());
  for (const auto& box : host.boxes) EXPECT_EQ(box.kind, 1) << platform::Cp1251ToUtf8(box.text);
  std::map<std::string, int> header_rows, line_rows;
  for (const auto& e : fs::recursive_directory_iterator(Native(host.out()))) {
    if (!e.is_regular_file()) continue;
    EXPECT_EQ(e.path().extension(), ".dbf") << e.path() << " left behind";
    for (const Row& row : TestHost::Rows(Program(e.path()))) {
      const bool is_line = row.count("ITEMID") != 0;
      ++(is_line ? line_rows : header_rows)[row.at("IDMSG")];
    }
  }
  for (const auto& [id, count] : lines) {
    const std::string n = std::to_string(id);
    EXPECT_EQ(line_rows[n], count) << "invoice " << id;
    if (!header_rows.empty()) {
      EXPECT_EQ(header_rows[n], 1) << "invoice " << id;
    }
    EXPECT_EQ(host.Delivered(id), "1") << "invoice " << id;
  }
}

TEST(CrashConsistency, AKillBeforeEveryChangeToAFile) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    TestHost host;
    const auto lines = MakeHost(host, mode, 3, 3);
    const Snapshot start = Take(host.base());
    const std::string host_table = start.files.at("ORDERS/EPD/cat_epd.dbf");
    // A second pass over exported invoices replaces them: its kills land in the deletes too.
    for (bool exported_before : {false, true}) {
      PutBack(host.base(), start);
      if (exported_before) {
        ASSERT_TRUE(::ExportNewEPD());
      }
      const Snapshot from = Take(host.base());
      int kills = 0;
      GdalCheck gdal;
      for (int n = 1;; ++n) {
        SCOPED_TRACE("killed before change " + std::to_string(n) + (exported_before ? ", replacing" : ""));
        PutBack(host.base(), from);
        if (!RunKilled(n)) break;  // the pass made fewer changes than n
        ++kills;
        CheckOutputs(host.out(), mode.gdal_reads_outputs ? &gdal : nullptr);
        CheckHostTable(host_table, testing_support::ReadFile(host.epd() + "cat_epd.dbf"));
        CheckTable(Native(host.epd() + "cat_epd.dbf"));
        ExpectConverged(host, lines);
        if (::testing::Test::HasFailure()) return;
      }
      EXPECT_GE(kills, 20);
      gdal.Run();
    }
  }
}

TEST(CrashConsistency, KillsAtRandomMomentsOfALargePass) {
  const char* env = std::getenv("EPD_CRASH_ROUNDS");
  const int rounds = env ? std::atoi(env) : kSanitized ? 4 : 12;
  std::mt19937 random(20240315);
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    TestHost host;
    const auto lines = MakeHost(host, mode, kSanitized ? 40 : 150, 12);
    const Snapshot start = Take(host.base());
    const std::string host_table = start.files.at("ORDERS/EPD/cat_epd.dbf");
    // How long a whole pass takes here, in a child like the killed ones: the first one, and one
    // that replaces every invoice, as the passes after a kill do.
    std::chrono::microseconds whole{0};
    for (int pass = 0; pass < 2; ++pass) {
      const auto begin = std::chrono::steady_clock::now();
      ASSERT_FALSE(RunKilled(0));
      whole = std::max(whole,
                       std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin));
    }
    PutBack(host.base(), start);
    int killed = 0;
    GdalCheck gdal;
    for (int round = 0; round < rounds; ++round) {
      const auto delay =
          std::chrono::microseconds(std::uniform_int_distribution<std::int64_t>(0, whole.count() * 11 / 10)(random));
      SCOPED_TRACE("round " + std::to_string(round) + ", killed after " + std::to_string(delay.count()) + " us");
      killed += RunKilled(0, delay);
      CheckOutputs(host.out(), mode.gdal_reads_outputs ? &gdal : nullptr);
      CheckHostTable(host_table, testing_support::ReadFile(host.epd() + "cat_epd.dbf"));
      if (::testing::Test::HasFailure()) return;
    }
    // How many kills landed inside a pass depends on the machine's speed: reported, not tested.
    RecordProperty(std::string("killed_in_pass, ") + mode.name, killed);
    ExpectConverged(host, lines);
    CheckOutputs(host.out(), mode.gdal_reads_outputs ? &gdal : nullptr);
    gdal.Run();
  }
}

}  // namespace
}  // namespace epd::exporter
