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
#include <cstdlib>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "export/test_crash_checks.h"
#include "export/test_host.h"
#include "platform/files.h"

namespace epd::exporter {
namespace {

using testing_support::DiskTree;
using testing_support::GdalCheck;
using testing_support::kSanitized;  // a smaller large pass, fewer kills
using testing_support::Native;
using testing_support::Problems;
using testing_support::PutBack;
using testing_support::Take;
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

// Each problem a check found, as a failure of the test.
void ExpectNone(const Problems& problems) {
  for (const std::string& p : problems) ADD_FAILURE() << p;
}

// Every table below the export directory; the ones GDAL reads are handed to `gdal`.
void CheckOutputs(const std::string& out, GdalCheck* gdal, int kill) {
  Problems problems;
  testing_support::CheckTables(out, gdal, "after kill " + std::to_string(kill), problems);
  ExpectNone(problems);
}

void CheckHostTable(const std::string& before, const std::string& now) {
  Problems problems;
  testing_support::CheckHostTable(before, now, problems);
  ExpectNone(problems);
}

void CheckTable(const std::string& file) {
  Problems problems;
  testing_support::CheckTable(file, problems);
  ExpectNone(problems);
}

std::map<int, int> MakeHost(TestHost& host, const Mode& mode, int invoices, int max_lines) {
  return testing_support::MakeHost(host, mode.settings, invoices, max_lines);
}

void RunGdal(GdalCheck& gdal) {
  Problems problems;
  ASSERT_TRUE(gdal.Run(problems)) << "GDAL's ogrinfo is needed (gdal-bin, installed by scripts/setup.sh)";
  ExpectNone(problems);
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
  Problems problems;
  testing_support::Converge(host, lines, problems);
  ExpectNone(problems);
}

TEST(CrashConsistency, AKillBeforeEveryChangeToAFile) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    TestHost host;
    const auto lines = MakeHost(host, mode, 3, 3);
    const DiskTree start = Take(host.base());
    const std::string host_table = start.files.at("ORDERS/EPD/cat_epd.dbf");
    // A second pass over exported invoices replaces them: its kills land in the deletes too.
    for (bool exported_before : {false, true}) {
      PutBack(host.base(), start);
      if (exported_before) {
        ASSERT_TRUE(::ExportNewEPD());
      }
      const DiskTree from = Take(host.base());
      int kills = 0;
      GdalCheck gdal;
      for (int n = 1;; ++n) {
        SCOPED_TRACE("killed before change " + std::to_string(n) + (exported_before ? ", replacing" : ""));
        PutBack(host.base(), from);
        if (!RunKilled(n)) break;  // the pass made fewer changes than n
        ++kills;
        CheckOutputs(host.out(), mode.gdal_reads_outputs ? &gdal : nullptr, n);
        CheckHostTable(host_table, testing_support::ReadFile(host.epd() + "cat_epd.dbf"));
        CheckTable(Native(host.epd() + "cat_epd.dbf"));
        ExpectConverged(host, lines);
        if (::testing::Test::HasFailure()) return;
      }
      EXPECT_GE(kills, 20);
      RunGdal(gdal);
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
    const DiskTree start = Take(host.base());
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
      CheckOutputs(host.out(), mode.gdal_reads_outputs ? &gdal : nullptr, round);
      CheckHostTable(host_table, testing_support::ReadFile(host.epd() + "cat_epd.dbf"));
      if (::testing::Test::HasFailure()) return;
    }
    // How many kills landed inside a pass depends on the machine's speed: reported, not tested.
    RecordProperty(std::string("killed_in_pass, ") + mode.name, killed);
    ExpectConverged(host, lines);
    CheckOutputs(host.out(), mode.gdal_reads_outputs ? &gdal : nullptr, rounds);
    RunGdal(gdal);
  }
}

}  // namespace
}  // namespace epd::exporter
