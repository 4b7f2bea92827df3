// Faults of the file system under the export: folders and files that refuse writes (for real,
// also to root, and through the fault hook), a disk that fills up, a rollback that cannot
// finish, a replacement that fails half way, a code table that cannot be written, and every
// single file operation of an export failing in turn. Each time: a clear message, false,
// nothing thrown past the exported functions, the host's tables byte for byte as they were
// unless the export completed, and output files holding whole invoices only.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <string>

#include "export/test_host.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/test_read_only.h"
#include "platform/text.h"
#include "sql/query.h"
#include "suppliers/supplier_tables.h"

namespace epd::exporter {
namespace {

namespace fs = std::filesystem;
using testing_support::ReadOnly;
using testing_support::Row;
using testing_support::TestHost;

constexpr int kId = 12345;

using Files = std::map<std::string, std::string>;

// Every file below `dir`, by its path relative to it, with its bytes.
Files FilesIn(const std::string& dir) {
  Files files;
  const fs::path root = platform::SystemPath(dir);
  if (!fs::exists(root)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files[fs::relative(entry.path(), root).generic_string()] =
          testing_support::ReadFile(platform::Utf8ToCp1251(entry.path().string()));
  return files;
}

std::string Texts(const TestHost& host) {
  std::string all;
  for (const auto& box : host.boxes) all += platform::Cp1251ToUtf8(box.text) + "\n";
  return all;
}

bool Contains(const std::string& text, std::string_view part) { return text.find(part) != std::string::npos; }

int Count(const std::vector<Row>& rows, const std::string& id) {
  int n = 0;
  for (const Row& r : rows) n += r.at("IDMSG") == id;
  return n;
}

void ResetDelivered(TestHost& host) {
  sql::Query q(host.epd().substr(0, host.epd().size() - 1));
  q.SetSql(" UPDATE \"cat_epd.dbf\"  SET DLVCHN=0  WHERE idMsg=" + std::to_string(kId));
  q.ExecSql();
}

struct Mode {
  const char* settings;
  const char* header_file;
  const char* line_file;
};
constexpr Mode kTwoFiles{"", "cat_epd.dbf", "body_epd.dbf"};
constexpr Mode kSingleFile{"singlefile=1\n", "Nakl.dbf", "Nakl.dbf"};

// The host with invoice 7 exported before (so the outputs hold records) and invoice kId waiting.
void Prepare(TestHost& host, const Mode& mode, const std::string& more_settings = "", Row line = {}) {
  host.CreateTables();
  host.AddInvoice(7, {}, 2);
  host.AddInvoice(kId, {}, 3, line);
  host.Settings(mode.settings + more_settings);
  ASSERT_TRUE(host.Export(7)) << Texts(host);
}

// What every failed export leaves: one error box saying the invoice was not exported and
// holding `what`, false, DLVCHN unset, and the host's tables and the outputs as they were.
struct Before {
  explicit Before(const TestHost& host) : host_tables(FilesIn(host.epd())), outputs(FilesIn(host.out())) {}
  Files host_tables, outputs;
};
void ExpectFailedCleanly(TestHost& host, bool exported, const Before& before, std::string_view what) {
  EXPECT_FALSE(exported);
  ASSERT_EQ(host.boxes.size(), 1u) << Texts(host);
  EXPECT_EQ(host.boxes[0].kind, 0);
  EXPECT_TRUE(Contains(host.boxes[0].text, what)) << Texts(host);
  EXPECT_EQ(FilesIn(host.epd()), before.host_tables) << Texts(host);
  EXPECT_EQ(FilesIn(host.out()), before.outputs) << Texts(host);
  EXPECT_EQ(host.Delivered(kId), "0");
}

// A retry once the fault is gone exports the invoice once, whole.
void ExpectRetryExportsOnce(TestHost& host, const Mode& mode, int lines = 3) {
  host.boxes.clear();
  ASSERT_TRUE(host.Export(kId)) << Texts(host);
  EXPECT_TRUE(host.boxes.empty()) << Texts(host);
  EXPECT_EQ(Count(TestHost::Rows(host.out() + mode.line_file), std::to_string(kId)), lines);
  if (std::string(mode.header_file) != mode.line_file) {
    EXPECT_EQ(Count(TestHost::Rows(host.out() + mode.header_file), std::to_string(kId)), 1);
  }
  EXPECT_EQ(host.Delivered(kId), "1");
}

#define SKIP_WITHOUT(guard)                                                                          \
  if ((guard).how().empty())                                                                         \
  GTEST_SKIP() << "this system lets the test process write anyway (no permissions, capabilities or " \
                  "immutable flag to stop it); the fault hook cases cover the same faults"

// A refusal of every change below a folder, as the fault hook gives it.
platform::FaultHook RefuseChangesBelow(std::string folder) {
  return [folder](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
    return op != platform::FileOp::kRead && op != platform::FileOp::kOpen && path.starts_with(folder);
  };
}

// --- The export directory refuses writes --------------------------------------------------

// Nothing can be created there: the fixed message of a failed creation, and nothing anywhere.
void ExportIntoARefusingFolder(const std::function<bool(TestHost&)>& export_under_fault) {
  for (const char* mode : {"", "singlefile=1\n", "manyfiles=1\n", "seller=1\n"}) {
    SCOPED_TRACE(mode);
    TestHost host;
    host.CreateTables();
    host.AddInvoice(kId, {}, 3);
    host.Settings(mode);
    const Before before(host);
    const bool exported = export_under_fault(host);
    ExpectFailedCleanly(host, exported, before, "Ошибка создания файлов экспорта накладной"_cp);
    EXPECT_TRUE(FilesIn(host.out()).empty());
    host.boxes.clear();
    EXPECT_TRUE(host.Export(kId)) << Texts(host);
  }
}

TEST(ExportFaults, ARealReadOnlyExportDirectory) {
  {
    testing_support::TempDir probe;
    ReadOnly guard(probe.path());
    SKIP_WITHOUT(guard);
    RecordProperty("read_only_by", guard.how());
  }
  ExportIntoARefusingFolder([](TestHost& host) {
    ReadOnly guard(host.out());
    return host.Export(kId);
  });
}

TEST(ExportFaults, AnExportDirectoryRefusingWritesThroughTheHook) {
  ExportIntoARefusingFolder([](TestHost& host) {
    platform::SetFaultHook(RefuseChangesBelow(host.out()));
    const bool exported = host.Export(kId);
    platform::SetFaultHook(nullptr);
    return exported;
  });
}

// --- Output files that refuse writes ------------------------------------------------------

TEST(ExportFaults, RealReadOnlyOutputFilesAreNamedAndLeftAsTheyWere) {
  struct Case {
    Mode mode;
    bool header_read_only, line_read_only;
  } cases[] = {{kTwoFiles, true, true}, {kTwoFiles, false, true}, {kTwoFiles, true, false}, {kSingleFile, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.mode.line_file) + (c.header_read_only ? " header" : "") +
                 (c.line_read_only ? " line" : ""));
    TestHost host;
    Prepare(host, c.mode);
    const Before before(host);
    bool exported;
    const std::string refusing = host.out() + (c.header_read_only ? c.mode.header_file : c.mode.line_file);
    {
      std::unique_ptr<ReadOnly> header, line;
      if (c.header_read_only) header = std::make_unique<ReadOnly>(host.out() + c.mode.header_file);
      if (c.line_read_only && !(c.header_read_only && std::string(c.mode.line_file) == c.mode.header_file))
        line = std::make_unique<ReadOnly>(host.out() + c.mode.line_file);
      SKIP_WITHOUT(header ? *header : *line);
      exported = host.Export(kId);
    }
    ExpectFailedCleanly(host, exported, before, refusing);
    ExpectRetryExportsOnce(host, c.mode);
  }
}

// --- A disk that fills up after N bytes ---------------------------------------------------

// Every write that would take the line output past `room` bytes beyond its size before fails,
// for every room from none to enough: each time the invoice is taken back whole.
TEST(ExportFaults, ADiskThatFillsUpAfterAnyNumberOfBytes) {
  for (const Mode& mode : {kTwoFiles, kSingleFile}) {
    SCOPED_TRACE(mode.line_file);
    TestHost host;
    Prepare(host, mode);
    const Before before(host);
    const std::string line_path = host.out() + mode.line_file;
    const std::uint64_t size_before = before.outputs.at(mode.line_file).size();
    int failures = 0;
    for (std::uint64_t room = 0;; room += 13) {
      SCOPED_TRACE(room);
      platform::SetFaultHook([&](platform::FileOp op, std::string_view path, std::uint64_t offset, std::size_t size) {
        return op == platform::FileOp::kWrite && path == line_path && offset + size > size_before + room;
      });
      host.boxes.clear();
      const bool exported = host.Export(kId);
      platform::SetFaultHook(nullptr);
      if (exported) break;
      ++failures;
      ExpectFailedCleanly(host, exported, before, "нет места на диске"_cp);
      EXPECT_TRUE(Contains(host.boxes[0].text, line_path)) << Texts(host);
      EXPECT_TRUE(Contains(host.boxes[0].text, "удалены"_cp)) << Texts(host);
      ASSERT_LT(room, 10000u);
    }
    EXPECT_GE(failures, 3 * 100 / 13);  // three line records of more than 100 bytes each
    EXPECT_EQ(Count(TestHost::Rows(line_path), std::to_string(kId)), 3);
  }
}

// --- A rollback that cannot finish --------------------------------------------------------

// The file cannot be cut back: the message says the records could not be removed, yet the
// header counts the records of before again, so every reader sees the file as it was, and the
// next export writes over what is left beyond the count.
TEST(ExportFaults, ARollbackThatCannotCutTheFileStillHidesTheRecords) {
  TestHost host;
  Prepare(host, kTwoFiles);
  const std::string line_path = host.out() + "body_epd.dbf";
  const auto rows_before = TestHost::Rows(line_path);
  int writes = 0;
  platform::SetFaultHook([&](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
    if (path != line_path) return false;
    // The records are written; the header that would count them is refused.
    return op == platform::FileOp::kTruncate || (op == platform::FileOp::kWrite && ++writes == 2);
  });
  EXPECT_FALSE(host.Export(kId));
  platform::SetFaultHook(nullptr);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_TRUE(Contains(host.boxes[0].text, "Не удалось удалить уже добавленные записи этой накладной"_cp))
      << Texts(host);
  EXPECT_TRUE(Contains(host.boxes[0].text, "Не удалось изменить размер файла "_cp + line_path)) << Texts(host);
  EXPECT_EQ(TestHost::Rows(line_path), rows_before);
  EXPECT_EQ(TestHost::Rows(host.out() + "cat_epd.dbf").size(), 1u);
  EXPECT_EQ(host.Delivered(kId), "0");
  ExpectRetryExportsOnce(host, kTwoFiles);
  EXPECT_EQ(TestHost::Rows(line_path).size(), 5u);
}

// --- The DLVCHN update refused ------------------------------------------------------------

TEST(ExportFaults, ARealReadOnlyHostTableTakesBackTheInvoice) {
  for (const Mode& mode : {kTwoFiles, kSingleFile}) {
    SCOPED_TRACE(mode.line_file);
    TestHost host;
    Prepare(host, mode);
    const Before before(host);
    bool exported;
    {
      ReadOnly guard(host.epd() + "cat_epd.dbf");
      SKIP_WITHOUT(guard);
      exported = host.Export(kId);
    }
    ExpectFailedCleanly(host, exported, before, "DLVCHN");
    EXPECT_TRUE(Contains(host.boxes[0].text, "только для чтения"_cp)) << Texts(host);
    EXPECT_TRUE(Contains(host.boxes[0].text, "удалены"_cp)) << Texts(host);
    ExpectRetryExportsOnce(host, mode);
  }
}

// --- A replacement that fails half way keeps the earlier copy -----------------------------

TEST(ExportFaults, AFailedReplacementKeepsTheEarlierCopy) {
  for (const Mode& mode : {kTwoFiles, kSingleFile}) {
    SCOPED_TRACE(mode.line_file);
    TestHost host;
    Prepare(host, mode);
    ASSERT_TRUE(host.Export(kId));
    ResetDelivered(host);
    host.answer_yes = true;
    const Before before(host);
    const std::string header_path = host.out() + mode.header_file;
    const std::string line_path = host.out() + mode.line_file;
    struct Fault {
      std::string path;
      int nth_write;  // the delete statements write first, then the records, then the header
      const char* what;
    };
    std::vector<Fault> faults = {{host.epd() + "cat_epd.dbf", 1, "DLVCHN"}};
    // Three deletion flags, the records in one write, the header.
    for (int n = 1; n <= 5; ++n) faults.push_back({line_path, n, mode.line_file});
    if (header_path != line_path)
      for (int n = 1; n <= 2; ++n) faults.push_back({header_path, n, mode.header_file});
    for (const Fault& f : faults) {
      SCOPED_TRACE(f.path + " write " + std::to_string(f.nth_write));
      int writes = 0;
      platform::SetFaultHook([&](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
        return op == platform::FileOp::kWrite && path == f.path && ++writes == f.nth_write;
      });
      host.boxes.clear();
      const bool exported = host.Export(kId);
      platform::SetFaultHook(nullptr);
      ASSERT_EQ(host.boxes.size(), 2u) << Texts(host);  // the question, then the error
      host.boxes.erase(host.boxes.begin());
      ExpectFailedCleanly(host, exported, before, f.what);
      EXPECT_TRUE(Contains(host.boxes[0].text, "прежняя копия накладной сохранена"_cp)) << Texts(host);
    }
    host.boxes.clear();
    ASSERT_TRUE(host.Export(kId)) << Texts(host);
    EXPECT_EQ(Count(TestHost::Rows(line_path), std::to_string(kId)), 3);
    EXPECT_EQ(Count(TestHost::Rows(header_path), std::to_string(kId)), header_path == line_path ? 3 : 1);
    EXPECT_EQ(Count(TestHost::Rows(line_path), "7"), 2);
  }
}

// --- The code table cannot be written -----------------------------------------------------

// A line whose code is to be replaced never reaches the output with a blank code: when the
// substitute cannot be stored, or the code table cannot even be made, the invoice fails.
TEST(ExportFaults, ACodeTableThatCannotBeWrittenFailsTheInvoice) {
  struct Case {
    const char* name;
    std::function<void(TestHost&)> before;
    std::function<std::unique_ptr<ReadOnly>(TestHost&)> guard;  // a real refusal, or none
    platform::FaultHook hook;
    const char* what;
  };
  auto atach = [](TestHost& host) { return host.data() + "AtachList.dbf"; };
  auto remove_table = [&](TestHost& host) { platform::RemoveFile(atach(host)); };
  const Case cases[] = {
      {"read-only code table", nullptr, [&](TestHost& host) { return std::make_unique<ReadOnly>(atach(host)); },
       nullptr, "AtachList.dbf"},
      {"writes refused by the hook", nullptr, nullptr,
       [](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
         return op == platform::FileOp::kWrite && path.ends_with("AtachList.dbf");
       },
       "AtachList.dbf"},
      {"opening refused by the hook", nullptr, nullptr,
       [](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
         return op == platform::FileOp::kOpen && path.ends_with("AtachList.dbf");
       },
       "AtachList.dbf"},
      {"missing and the data folder read-only", remove_table,
       [](TestHost& host) { return std::make_unique<ReadOnly>(host.data()); }, nullptr, "AtachList.dbf"},
  };
  std::string not_real;  // cases of a real refusal that this system cannot make
  for (const Mode& mode : {kTwoFiles, kSingleFile}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(mode.line_file) + ": " + c.name);
      TestHost host;
      Prepare(host, mode, "[Settings]\nbchangecncode=1\n", {{"LOCALCOD", "NEW-1"}});
      ASSERT_TRUE(host.Suppliers().CreateSelList("SelList.dbf"));
      TestHost::Append(host.data() + "SelList.dbf", {{{"idSeller", "77"}, {"Seller", "Listed"}}});
      ASSERT_TRUE(host.Suppliers().CreateAtachList());
      if (c.before) c.before(host);
      const Before before(host);
      bool exported;
      {
        std::unique_ptr<ReadOnly> guard = c.guard ? c.guard(host) : nullptr;
        if (guard && guard->how().empty()) {
          not_real += std::string(" \"") + c.name + "\"";
          continue;
        }
        platform::SetFaultHook(c.hook);
        exported = host.Export(kId);
        platform::SetFaultHook(nullptr);
      }
      ExpectFailedCleanly(host, exported, before, c.what);
      host.boxes.clear();
      ASSERT_TRUE(host.Export(kId)) << Texts(host);
      for (const Row& line : TestHost::Rows(host.out() + mode.line_file))
        if (line.at("IDMSG") == std::to_string(kId)) {
          EXPECT_EQ(line.at("LOCALCOD"), std::to_string(suppliers::SubstituteCodeOf("NEW-1")));
        }
    }
  }
  if (!not_real.empty()) GTEST_SKIP() << "not run, no real refusal possible here:" << not_real;
}

// --- Every file operation failing in turn -------------------------------------------------

// The n-th file operation of an export fails, for every n: refused as by the system, or by an
// exception no part of the library expects (std::bad_alloc). Whatever fails, nothing escapes
// ExportEPD, and the outcome is one of: exported whole and marked delivered; not exported, with
// the host's tables and the earlier outputs as they were (a new output may stay, empty); or,
// when the settings file itself could not be read, exported nothing as switched off (true,
// with no change and no mark: the invoice stays waiting).
TEST(ExportFaults, EveryFileOperationFailingInTurn) {
  struct Scenario {
    const char* name;
    Mode mode;
    bool earlier_outputs;  // invoice 7 exported before
    bool replace;          // kId exported before, replaced now
    std::string settings;
  };
  const Scenario scenarios[] = {
      {"append with code replacement", kTwoFiles, true, false, "[Settings]\nbchangecncode=1\n"},
      {"replacement in one file", kSingleFile, true, true, ""},
      {"new files per invoice in a supplier folder",
       {"manyfiles=1\nseller=1\n", "77\\h12345.dbf", "77\\b12345.dbf"},
       false,
       false,
       ""},
  };
  for (bool throw_bad_alloc : {false, true}) {
    for (const Scenario& s : scenarios) {
      SCOPED_TRACE(std::string(s.name) + (throw_bad_alloc ? ", std::bad_alloc" : ", refused"));
      TestHost host;
      host.CreateTables();
      host.AddInvoice(7, {}, 2);
      host.AddInvoice(kId, {}, 2);
      host.Settings(std::string(s.mode.settings) + s.settings);
      ASSERT_TRUE(host.Suppliers().CreateSelList("SelList.dbf"));
      TestHost::Append(host.data() + "SelList.dbf", {{{"idSeller", "77"}, {"Seller", "Listed"}}});
      if (s.earlier_outputs) {
        ASSERT_TRUE(host.Export(7));
      }
      if (s.replace) {
        ASSERT_TRUE(host.Export(kId));
        ResetDelivered(host);
        host.answer_yes = true;
      }
      const Before before(host);
      int failed_runs = 0;
      for (int n = 1;; ++n) {
        SCOPED_TRACE(n);
        int ops = 0;
        platform::FileOp failed_op{};
        std::string failed_path;
        platform::SetFaultHook([&](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
          if (++ops != n) return false;
          failed_op = op;
          failed_path = path;
          if (throw_bad_alloc) throw std::bad_alloc();
          return true;
        });
        host.boxes.clear();
        bool exported = false;
        EXPECT_NO_THROW(exported = host.Export(kId));
        platform::SetFaultHook(nullptr);
        SCOPED_TRACE("operation " + std::to_string(static_cast<int>(failed_op)) + " on " + failed_path);
        if (ops < n) {  // the export ran out of operations before the n-th: done
          EXPECT_TRUE(exported);
          break;
        }
        if (exported && host.Delivered(kId) == "0") {
          EXPECT_TRUE(failed_path.ends_with("export_epd.ini")) << Texts(host);
          EXPECT_EQ(FilesIn(host.out()), before.outputs);
          continue;
        }
        if (exported) {
          EXPECT_EQ(Count(TestHost::Rows(host.out() + s.mode.line_file), std::to_string(kId)), 2) << Texts(host);
          // Back to the state before, for the next n.
          for (const auto& [name, bytes] : before.host_tables) testing_support::WriteFile(host.epd() + name, bytes);
          fs::remove_all(platform::SystemPath(host.out()));
          platform::MakeDirectory(host.out().substr(0, host.out().size() - 1));
          for (const auto& [name, bytes] : before.outputs) {
            const fs::path native = platform::SystemPath(host.out() + name);
            fs::create_directories(native.parent_path());
            testing_support::WriteFile(host.out() + name, bytes);
          }
          continue;
        }
        ++failed_runs;
        ASSERT_GE(host.boxes.size(), 1u);
        EXPECT_EQ(host.boxes.back().kind, 0);
        EXPECT_TRUE(Contains(host.boxes.back().text, "не экспортирована"_cp) ||
                    Contains(host.boxes.back().text, "Ошибка"_cp))
            << Texts(host);
        EXPECT_EQ(FilesIn(host.epd()), before.host_tables) << Texts(host);
        EXPECT_EQ(host.Delivered(kId), "0");
        const Files outputs = FilesIn(host.out());
        for (const auto& [name, bytes] : outputs) {
          auto earlier = before.outputs.find(name);
          if (earlier != before.outputs.end()) {
            EXPECT_EQ(bytes, earlier->second) << name << "\n" << Texts(host);
          } else {
            EXPECT_TRUE(name.ends_with(".dbf")) << name;  // no scratch file stays
            EXPECT_EQ(TestHost::Rows(host.out() + name).size(), 0u) << name;
          }
        }
        ASSERT_LT(n, 5000);
      }
      EXPECT_GE(failed_runs, 20);
    }
  }
}

}  // namespace
}  // namespace epd::exporter
