// Power loss. The automatic pass runs in a child process that records every change it makes to a
// file or folder (platform::SetFileObserver) and stops itself, as a power failure would, just
// before a chosen change: over a small host before each of its changes in turn and after its
// last, in every file-name mode, and at random points of a pass over a larger host. From the
// record, each file is then brought back to what a disk may hold after the failure (its content
// at its last sync plus part of what was written after it; a name made and not followed by a
// sync of its folder missing or under its old name: platform/test_disk.h), in several outcomes
// per point: the worst ones decided (nothing unsynced kept; names kept without their unsynced
// data; data kept without the names made since their folder's last sync; names kept and of
// each file only its last write, as a disk may write the header that
// counts records before the records), everything written kept (which must be the disk the
// child left: the record misses nothing), and prefix and sector outcomes drawn from a seeded
// generator. Each distinct disk state is checked once.
//
// For every outcome: each table below the host opens whole in the engine and in GDAL; cat_epd.dbf
// differs from before in DLVCHN only; an invoice marked delivered has its header and every line
// in the outputs; and a pass run afterwards, after the program started anew, answering Yes to
// "Накладная уже экспортирована. Заменить?", leaves every invoice exactly once, whole, and
// delivered. What is delivered must be on the disk.
//
// EPD_POWER_LOSS_ROUNDS sets the number of random points of the large pass per mode (default 6,
// 2 under the sanitizers). GDAL's ogrinfo missing is a failure under EPD_REQUIRE_FOREIGN=1, and
// otherwise leaves GDAL's reading out with a note.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "export/test_crash_checks.h"
#include "export/test_host.h"
#include "platform/files.h"
#include "platform/test_disk.h"
#include "platform/text.h"

namespace epd::exporter {
namespace {

using testing_support::DiskTree;
using testing_support::kSanitized;
using testing_support::PowerLossDisk;
using testing_support::Problems;
using testing_support::RecordedChange;
using testing_support::TestHost;
using Outcome = PowerLossDisk::Outcome;

struct Mode {
  const char* name;
  const char* settings;
  bool single_file;  // no header records of their own
};
const Mode kModes[] = {
    {"two files, own writer, code replacement", "lavel=5\n[Settings]\nbchangecncode=1\nlevel=4\n", false},
    {"manyfiles, made by the engine", "manyfiles=1\nlavel=7\n", false},
    {"singlefile", "singlefile=1\n", true},
    {"singlefile and manyfiles", "singlefile=1\nmanyfiles=1\n[Settings]\nlevel=5\n", true},
    {"seller folders", "seller=1\n", false},
};

// The outcomes tried at each point; the random ones are drawn again for each.
struct Trial {
  Outcome outcome;
  const char* name;
};
const Trial kTrials[] = {
    {Outcome::kNothingUnsynced, "nothing unsynced kept"},
    {Outcome::kNamesWithoutData, "names kept, unsynced data lost"},
    {Outcome::kDataWithoutNames, "data kept, unsynced names lost"},
    {Outcome::kLastWritesOnly, "names kept, only each file's last write"},
    {Outcome::kEverything, "everything written kept"},
    {Outcome::kPrefixes, "prefixes, draw 1"},
    {Outcome::kPrefixes, "prefixes, draw 2"},
    {Outcome::kSectors, "sectors, draw 1"},
    {Outcome::kSectors, "sectors, draw 2"},
};

// An invoice in cat_epd.dbf that the pass does not list: it must stay as it is.
constexpr int kUnlisted = 900;

// Runs the pass in a child that writes every change it is about to make to `journal` and, when
// `stop_before` > 0, ends itself just before its stop_before-th change, which it records last
// but does not make. True when it was stopped; false when it made fewer changes and ran to its
// end. (A pass's changes may differ from one run to the next: its groups end after some time.)
bool RunUntil(int stop_before, const std::string& journal) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(journal.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) ::_exit(2);
    int changes = 0;
    platform::SetFileObserver([&](const platform::FileChange& change) {
      const std::string record = testing_support::EncodeChange(change);
      for (std::size_t done = 0; done < record.size();) {
        const ssize_t n = ::write(fd, record.data() + done, record.size() - done);
        if (n <= 0) ::_exit(2);
        done += static_cast<std::size_t>(n);
      }
      if (++changes == stop_before) ::_exit(3);
    });
    ::ExportNewEPD();
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 3))
      << "the pass's child ended with status " << status;
  return WIFEXITED(status) && WEXITSTATUS(status) == 3;
}

std::size_t Fingerprint(const DiskTree& tree) {
  std::string all;
  for (const std::string& d : tree.directories) all += d + '\n';
  for (const auto& [path, bytes] : tree.files) all += path + '\n' + std::to_string(bytes.size()) + '\n' + bytes;
  return std::hash<std::string>{}(all);
}

// The first path where two trees differ, for a message.
std::string FirstDifference(const DiskTree& a, const DiskTree& b) {
  if (a.directories != b.directories) return "the folders";
  for (const auto& [path, bytes] : a.files) {
    const auto other = b.files.find(path);
    if (other == b.files.end()) return path + " (missing on the disk)";
    if (other->second != bytes) return path + " (other bytes on the disk)";
  }
  for (const auto& [path, bytes] : b.files)
    if (!a.files.count(path)) return path + " (on the disk only)";
  return "nothing";
}

// A whole pass's changes: how many, among them how many syncs, and the first delivery mark.
struct Pass {
  int changes = 0, first_mark = 0, syncs = 0;
};

// What one mode's sweep found, summed up.
struct Figures {
  Pass pass;  // the first whole pass
  int points = 0, outcomes = 0, states = 0, delivered_checked = 0;
  std::set<int> failing_points;
  int failing_states = 0;
  std::size_t gdal_problems = 0;       // tables GDAL reads otherwise than the engine
  std::map<std::string, int> by_kind;  // states failing each kind of check
  std::vector<std::string> examples;   // the first failure of each kind, in full

  std::string Summary(const std::string& mode) const {
    std::string text = mode + ": a pass of " + std::to_string(pass.changes) + " changes (" +
                       std::to_string(pass.syncs) + " syncs, the first mark at " + std::to_string(pass.first_mark) +
                       "); " + std::to_string(points) + " points, " + std::to_string(outcomes) + " outcomes, " +
                       std::to_string(states) + " distinct disk states, " + std::to_string(delivered_checked) +
                       " delivered invoices checked; ";
    if (gdal_problems) text += std::to_string(gdal_problems) + " problems in GDAL's reading; ";
    if (failing_states == 0) return text + (gdal_problems ? "" : "nothing lost");
    text += std::to_string(failing_states) + " states fail at " + std::to_string(failing_points.size()) + " points (";
    for (const auto& [kind, n] : by_kind) text += kind + " " + std::to_string(n) + ", ";
    text.resize(text.size() - 2);
    return text + ")";
  }
};

class PowerLoss {
 public:
  // The host in memory: the test models the disk itself, and the product's syncs need not wait.
  PowerLoss(const Mode& mode, int invoices, int max_lines) : mode_(mode), host_(testing_support::TempPlace::kMemory) {
    lines_ = testing_support::MakeHost(host_, mode.settings, invoices, max_lines);
    host_.AddInvoice(kUnlisted, {}, 2);
    start_ = testing_support::Take(host_.base());
    host_table_ = start_.files.at("ORDERS/EPD/cat_epd.dbf");
    root_ = testing_support::Native(host_.base());
    journal_ = testing_support::Native(scratch_.path()) + "/journal";
  }

  // A whole pass, run to its end.
  Pass Whole() {
    testing_support::PutBack(host_.base(), start_);
    EXPECT_FALSE(RunUntil(0, journal_));
    const std::vector<RecordedChange> whole = Journal();
    Pass pass;
    pass.changes = static_cast<int>(whole.size());
    const std::string host_table = root_ + "/ORDERS/EPD/cat_epd.dbf";
    for (int n = pass.changes; n >= 1; --n) {
      const RecordedChange& c = whole[static_cast<std::size_t>(n - 1)];
      if (c.op == platform::FileOp::kWrite && c.path == host_table) pass.first_mark = n;
      pass.syncs += c.op == platform::FileOp::kSync || c.op == platform::FileOp::kSyncDirectory;
    }
    figures_.pass = pass;
    return pass;
  }

  // The power lost just before change `point` (counted from 1), each outcome of kTrials checked.
  // False when the pass made fewer changes: the power was lost after it.
  bool Try(int point, unsigned seed) {
    testing_support::PutBack(host_.base(), start_);
    const bool stopped = RunUntil(point, journal_);
    std::vector<RecordedChange> done = Journal();
    std::string where = "power lost after the pass (" + std::to_string(done.size()) + " changes)";
    if (stopped && !done.empty()) {
      where = "power lost before change " + std::to_string(point) + " of about " +
              std::to_string(figures_.pass.changes) + " (" + testing_support::Describe(done.back(), root_) + ")";
      done.pop_back();
    }
    const DiskTree left = testing_support::Take(host_.base());
    ++figures_.points;
    PowerLossDisk disk(root_, start_);
    try {
      for (const RecordedChange& change : done) disk.Apply(change);
    } catch (const std::logic_error& e) {
      Fail(point, where, {"record: " + std::string(e.what())});
      return stopped;
    }
    std::mt19937 random(seed);
    for (const Trial& trial : kTrials) {
      ++figures_.outcomes;
      const DiskTree tree = disk.After(trial.outcome, random);
      // The recorder misses no change: all it recorded, replayed, is what the child left.
      if (trial.outcome == Outcome::kEverything && !(tree == left)) {
        Fail(point, where + ", " + trial.name,
             {"record: the changes recorded do not make the disk the child left: " + FirstDifference(tree, left)});
        continue;
      }
      if (!seen_.insert(Fingerprint(tree)).second) continue;
      ++figures_.states;
      testing_support::PutBack(host_.base(), tree);
      const Problems problems = Check(where + ", " + trial.name);
      if (!problems.empty()) Fail(point, where + ", " + trial.name, problems);
    }
    return stopped;
  }

  // GDAL's reading of every table the sweep saw, and the figures; failures as test failures.
  void Finish() {
    Problems problems;
    if (!gdal_.Run(problems)) {
      const char* required = std::getenv("EPD_REQUIRE_FOREIGN");
      if (required && std::string(required) == "1")
        ADD_FAILURE() << "GDAL's ogrinfo is needed (gdal-bin, installed by scripts/setup.sh)";
      else
        std::printf("[ power loss ] GDAL's ogrinfo is missing: %zu tables not read by GDAL\n", gdal_.size());
    }
    figures_.gdal_problems = problems.size();
    for (std::size_t i = 0; i < problems.size() && i < 4; ++i) figures_.examples.push_back(problems[i]);
    const std::string summary = figures_.Summary(mode_.name);
    std::printf("[ power loss ] %s\n", summary.c_str());
    ::testing::Test::RecordProperty(std::string("power loss, ") + mode_.name, summary);
    if (figures_.failing_states == 0 && figures_.gdal_problems == 0) return;
    std::string text = summary;
    for (const std::string& example : figures_.examples) text += "\n  " + example;
    ADD_FAILURE() << text;
  }

 private:
  std::vector<RecordedChange> Journal() {
    return testing_support::DecodeJournal(testing_support::ReadFile(platform::Utf8ToCp1251(journal_)));
  }

  // Every check of one disk state; each problem begins with the kind of check it failed.
  Problems Check(const std::string& when) {
    Problems problems, found;
    auto take = [&](const std::string& kind) {
      for (const std::string& p : found) problems.push_back(kind + ": " + p);
      found.clear();
    };
    testing_support::CheckTables(host_.base(), &gdal_, when, found);
    take("unreadable table");
    testing_support::CheckHostTable(host_table_, testing_support::ReadFile(host_.epd() + "cat_epd.dbf"), found);
    take("cat_epd.dbf changed");
    CheckDelivered(found);
    take("delivered but lost");
    // The power came back: the host starts the library anew and runs the pass again.
    ::InitializeEPD(host_.base().c_str());
    testing_support::Converge(host_, lines_, found);
    take("pass again does not converge");
    return problems;
  }

  // Every invoice this pass marked delivered has its header and all its lines in the outputs.
  void CheckDelivered(Problems& problems) {
    std::vector<testing_support::Row> headers;
    try {
      headers = host_.Headers();
    } catch (const std::exception& e) {
      problems.push_back("cat_epd.dbf does not read: " + platform::Cp1251ToUtf8(e.what()));
      return;
    }
    Problems unreadable;  // reported by CheckTables already
    const testing_support::OutputRecords records = testing_support::CountOutputRecords(host_, unreadable);
    for (const testing_support::Row& header : headers) {
      const int id = std::stoi(header.at("IDMSG"));
      const bool delivered = header.at("DLVCHN") == "1";
      if (id == kUnlisted) {
        if (delivered) problems.push_back("invoice " + std::to_string(id) + ", not listed in epdct.dbf, delivered");
        continue;
      }
      if (!delivered) continue;
      ++figures_.delivered_checked;
      const std::string n = std::to_string(id);
      const int lines = records.lines.count(n) ? records.lines.at(n) : 0;
      const int heads = records.headers.count(n) ? records.headers.at(n) : 0;
      const int want_heads = mode_.single_file ? 0 : 1;
      if (lines != lines_.at(id) || heads != want_heads)
        problems.push_back("invoice " + n + " is marked delivered, but the outputs hold " + std::to_string(lines) +
                           " of its " + std::to_string(lines_.at(id)) + " lines" +
                           (mode_.single_file ? std::string() : " and " + std::to_string(heads) + " of its 1 header"));
    }
  }

  void Fail(int point, const std::string& where, const Problems& problems) {
    ++figures_.failing_states;
    figures_.failing_points.insert(point);
    std::set<std::string> kinds;
    for (const std::string& p : problems) kinds.insert(p.substr(0, p.find(':')));
    for (const std::string& kind : kinds) {
      if (figures_.by_kind[kind]++ > 0) continue;
      // The first state failing this kind of check, with all it found (up to a few lines).
      std::string text = where + ":";
      int shown = 0;
      for (const std::string& p : problems)
        if (p.starts_with(kind + ":") && shown++ < 4) text += "\n    " + p;
      figures_.examples.push_back(text);
    }
  }

  const Mode& mode_;
  TestHost host_;
  std::map<int, int> lines_;
  DiskTree start_;
  std::string host_table_, root_, journal_;
  testing_support::TempDir scratch_;
  std::unordered_set<std::size_t> seen_;
  testing_support::GdalCheck gdal_;
  Figures figures_;
};

TEST(PowerLoss, AtEveryChangeOfASmallPassInEachFileNameMode) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    PowerLoss test(mode, 3, 3);
    EXPECT_GE(test.Whole().changes, 10);
    for (int point = 1; test.Try(point, 1000u * static_cast<unsigned>(point)); ++point) {
    }
    test.Finish();
  }
}

TEST(PowerLoss, AtRandomPointsOfALargerPass) {
  const char* env = std::getenv("EPD_POWER_LOSS_ROUNDS");
  const int rounds = env ? std::atoi(env) : kSanitized ? 2 : 6;
  std::mt19937 random(20240611);
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    PowerLoss test(mode, kSanitized ? 12 : 40, 12);
    const auto pass = test.Whole();
    // Half the points anywhere, half once invoices are being marked delivered: the marks come at
    // the end of each group, and there a loss costs most.
    const int marks = pass.first_mark > 0 ? pass.first_mark : 1;
    for (int round = 0; round < rounds; ++round) {
      const int first = round % 2 ? marks : 1;
      test.Try(std::uniform_int_distribution<int>(first, pass.changes + 1)(random), static_cast<unsigned>(random()));
    }
    test.Finish();
  }
}

}  // namespace
}  // namespace epd::exporter
