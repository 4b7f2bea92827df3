// The export's benchmark. On one generated host directory per table level it measures, in one
// run and on the same files, for each file-name mode (two files, manyfiles, singlefile,
// singlefile+manyfiles, seller):
//   (a) ExportEPD of one invoice of about 20 lines, every field mapped;
//   (b) ExportNewEPD over the waiting invoices (1,000 by default);
//   (h) the same pass with syncs handed nothing (platform::SkipDiskSyncsForTests): the library
//       linked into the child, as the test programs link it, for the cost of durability;
// and once per level:
//   (c) the floor: one sequential read of cat_epd.dbf and body_epd.dbf with 1 MiB read(2) calls;
//   (i) the manyfiles pass into an export directory that holds 20,000 files already, with syncs
//       (the library loaded) and without (linked);
//   (j) what one sync costs here: a 4 KiB write and its fsync, a folder's fsync;
//   (d) the peers writing the same invoice's header and lines into new .dbf files: GDAL's
//       ogr2ogr -where and Python's dbf module (Debian's /usr/bin/python3);
// and in one process as the host runs the library all day, a first export having taught it the
// tables, after the host's own program (host_appender.h) changed them (growth_runs.h):
//   (e) ExportEPD of an invoice of about 20 lines the host has just appended;
//   (f) ExportNewEPD over 100 such invoices, appended before the process started (the tables as
//       the library learned them), and (f') the same 100 invoices appended after it learned them;
//   (g) ExportEPD as in (e), the host having also given an old line the new invoice's number: a
//       change the library must notice, reading the tables whole.
// Every measured thing runs in a child process of its own (bench_process.h); the library is
// loaded with dlopen and driven through its exported functions, as the host drives it, except
// in (h) and (i)'s pass without syncs. Each run starts from the same state: an empty output
// directory (or the 20,000 files and nothing of the waiting invoices), the host's files
// untouched otherwise (DLVCHN is written again, byte for byte the same, by every later run); (e) to (g)
// work on a copy of the host that is put back after every run. The runs of the different
// measurements take turns, and the table shows medians.
//
//   export_bench [--lines=N] [--mean-lines=N] [--waiting=N] [--seed=N] [--runs=N] [--peer-runs=N]
//                [--levels=3,7] [--modes=two,manyfiles,singlefile,single-many,seller]
//                [--prefilled=N] [--dir=D] [--library=PATH] [--no-peers] [--smoke]
//
// The host directories are generated into D (default /tmp/epd_export_bench) and reused while
// their shape is the same. --smoke: a small host, one run, every result checked; for the tests.
// The exit status is non-zero when any export answers false, shows a message or writes other
// records than expected.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench_process.h"
#include "export/export_driver.h"
#include "export/library_state.h"
#include "export_epd.h"
#include "growth_runs.h"
#include "host_generator.h"
#include "peers.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "tables/table.h"

namespace fs = std::filesystem;

namespace {

using namespace epd::bench;

struct Mode {
  const char* name;
  const char* key;  // for --modes
  bool singlefile, manyfiles, seller;
};
const Mode kModes[] = {
    {"two files", "two", false, false, false},        {"manyfiles", "manyfiles", false, true, false},
    {"singlefile", "singlefile", true, false, false}, {"singlefile+manyfiles", "single-many", true, true, false},
    {"seller", "seller", false, false, true},
};
const Mode& kManyFiles = kModes[1];

struct Options {
  HostShape shape;
  int runs = 3;
  int peer_runs = 3;
  std::vector<int> levels = {3, 7};
  std::vector<const Mode*> modes;
  std::uint32_t prefilled = 20000;
  std::string dir = "/tmp/epd_export_bench";
  std::string library = EPD_LIBRARY_PATH;
  bool peers = true;
};

// ---------------------------------------------------------------------------------------------
// Children.

int ChildFloor(const std::string& base) {
  std::vector<char> buffer(1u << 20);
  const ChildClock clock;
  std::uint64_t total = 0;
  for (const char* name : {"cat_epd.dbf", "body_epd.dbf"}) {
    const int fd = open((base + "ORDERS/EPD/" + name).c_str(), O_RDONLY);
    if (fd < 0) return 1;
    for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<std::uint64_t>(n);
    close(fd);
  }
  clock.Report(total > 0, 0);
  return 0;
}

// The library loaded as the host loads its plug-in.
int ChildExport(const std::string& library, const std::string& base, std::optional<std::int32_t> id) {
  Library lib = Load(library);
  CountMessages(lib);
  lib.initialize(base.c_str());
  const ChildClock clock;
  const bool ok = id ? lib.export_one(*id, 1) : lib.export_new();
  clock.Report(ok, MessagesShown());
  return 0;
}

// The pass of the library linked in, with or without the disk's part of each sync.
int ChildLinkedPass(const std::string& base, bool syncs) {
  epd::platform::SkipDiskSyncsForTests(!syncs);
  epd::platform::SetMessageHandler(&CountMessage, nullptr);
  epd::exporter::InitializeEPD(base);
  const ChildClock clock;
  const bool ok = epd::exporter::ExportNewEPD();
  clock.Report(ok, MessagesShown());
  return 0;
}

// One sync: the median of 20 4 KiB writes each followed by its fsync, and of 20 fsyncs of the
// folder after a file was created in it. Prints "file_ms=<ms> folder_ms=<ms>".
int ChildSync(const std::string& dir) {
  std::vector<double> file_ms, folder_ms;
  const std::string path = dir + "/sync.probe";
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
  const int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0 || dfd < 0) return 1;
  std::vector<char> block(4096, 'x');
  for (int i = 0; i < 20; ++i) {
    if (pwrite(fd, block.data(), block.size(), static_cast<off_t>(i) * 4096) < 0) return 1;
    auto t0 = Clock::now();
    fsync(fd);
    file_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    const std::string made = dir + "/made" + std::to_string(i);
    close(open(made.c_str(), O_WRONLY | O_CREAT, 0666));
    t0 = Clock::now();
    fsync(dfd);
    folder_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    unlink(made.c_str());
  }
  close(fd);
  close(dfd);
  unlink(path.c_str());
  std::printf("file_ms=%.3f folder_ms=%.3f\n", Median(file_ms), Median(folder_ms));
  return 0;
}

// ---------------------------------------------------------------------------------------------
// The parent.

struct Host {
  int level = 3;
  fs::path dir;
  std::string base;  // dir + "/"
  HostFacts facts;
  std::uint64_t header_bytes = 0, line_bytes = 0;
};

void SaveFacts(const fs::path& file, const std::string& description, const HostFacts& f) {
  std::ofstream out(file);
  out << description << "\n"
      << f.invoices << " " << f.lines << " " << f.probe_invoice << " " << f.probe_lines << " " << f.waiting_lines << " "
      << f.waiting.size();
  for (std::int32_t id : f.waiting) out << " " << id;
  out << "\n";
}

bool LoadFacts(const fs::path& file, const std::string& description, HostFacts* f) {
  std::ifstream in(file);
  std::string line;
  if (!std::getline(in, line) || line != description) return false;
  std::size_t waiting = 0;
  if (!(in >> f->invoices >> f->lines >> f->probe_invoice >> f->probe_lines >> f->waiting_lines >> waiting))
    return false;
  f->waiting.resize(waiting);
  for (std::int32_t& id : f->waiting)
    if (!(in >> id)) return false;
  return true;
}

Host PrepareHost(const Options& options, int level) {
  Host host;
  host.level = level;
  host.dir = fs::path(options.dir) / ("level" + std::to_string(level));
  host.base = host.dir.string() + "/";
  HostShape shape = options.shape;
  shape.level = level;
  const std::string description = Describe(shape);
  const fs::path facts_file = host.dir / "host.txt";
  const fs::path epd = host.dir / "ORDERS" / "EPD";
  if (!LoadFacts(facts_file, description, &host.facts) || !fs::exists(epd / "body_epd.dbf")) {
    std::fprintf(stderr, "generating the level %d host in %s (%s) ...\n", level, host.dir.c_str(), description.c_str());
    const auto t0 = Clock::now();
    fs::remove_all(host.dir);
    fs::create_directories(host.dir);
    host.facts = GenerateHost(host.base, shape, (host.dir / "export").string());
    SaveFacts(facts_file, description, host.facts);
    std::fprintf(stderr, "  done in %.1f s\n", std::chrono::duration<double>(Clock::now() - t0).count());
  }
  host.header_bytes = fs::file_size(epd / "cat_epd.dbf");
  host.line_bytes = fs::file_size(epd / "body_epd.dbf");
  return host;
}

// The export directory and the file-name mode in the host's settings, key by key, the rest of
// the file as the generator wrote it.
void SetMode(const Host& host, const fs::path& export_dir, const Mode& mode) {
  const fs::path ini = host.dir / "DATA" / "export_epd.ini";
  std::stringstream in;
  in << std::ifstream(ini).rdbuf();
  std::string text = in.str();
  auto set = [&](const std::string& key, const std::string& value) {
    const std::string at = "\r\n" + key + "=";
    const std::size_t start = text.find(at);
    if (start == std::string::npos) throw std::runtime_error("no " + key + " in " + ini.string());
    const std::size_t from = start + at.size();
    text.replace(from, text.find("\r\n", from) - from, value);
  };
  set("Export_Dir", export_dir.string());
  set("singlefile", mode.singlefile ? "1" : "0");
  set("manyfiles", mode.manyfiles ? "1" : "0");
  set("seller", mode.seller ? "1" : "0");
  std::ofstream(ini, std::ios::binary) << text;
}

// The records written below `dir`: header records (files without the line column LOCALCOD) and
// line records; `only` names the files to count, all when empty. -1 when a file cannot be read.
std::pair<long, long> CountOutputs(const fs::path& dir, const std::vector<std::string>& only = {}) {
  long headers = 0, lines = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file() || e.path().extension() != ".dbf") continue;
    if (!only.empty() && std::find(only.begin(), only.end(), e.path().filename().string()) == only.end()) continue;
    try {
      auto table = epd::tables::Table::Open(e.path().string());
      long n = 0;
      for (table->First(); !table->Eof(); table->Next()) ++n;
      (table->FieldIndex("LOCALCOD") >= 0 ? lines : headers) += n;
    } catch (const std::exception&) {
      return {-1, -1};
    }
  }
  return {headers, lines};
}

// The manyfiles names of the waiting invoices.
std::vector<std::string> WaitingFiles(const Host& host) {
  std::vector<std::string> names;
  for (std::int32_t id : host.facts.waiting) {
    names.push_back("h" + std::to_string(id) + ".dbf");
    names.push_back("b" + std::to_string(id) + ".dbf");
  }
  return names;
}

// An export directory holding `count` files of earlier invoices (names as manyfiles gives them,
// a DOS-era program's upper case for a third of them) and none of the waiting invoices'.
void Prefill(const Host& host, const fs::path& dir, std::uint32_t count) {
  fs::create_directories(dir);
  for (const std::string& name : WaitingFiles(host)) fs::remove(dir / name);
  std::size_t have = 0;
  for (const auto& e : fs::directory_iterator(dir)) have += e.is_regular_file();
  if (have == count) return;
  EmptyDirectory(dir);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::string name = (i % 2 ? "b" : "h") + std::to_string(100000 + i / 2) + ".dbf";
    if (i % 3 == 0) std::transform(name.begin(), name.end(), name.begin(), ::toupper);
    std::ofstream(dir / name) << "earlier";
  }
}

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

struct LevelResult {
  Host host;
  std::vector<Series> series;
  std::vector<std::string> notes;
  std::vector<std::string> problems;
};

LevelResult Measure(const Options& options, int level) {
  LevelResult result;
  result.host = PrepareHost(options, level);
  const Host& host = result.host;
  const std::string self = SelfPath();
  const fs::path export_dir = host.dir / "export";
  const fs::path full_dir = host.dir / "export_full";
  const std::string id = std::to_string(host.facts.probe_invoice);
  const long invoices = static_cast<long>(host.facts.waiting.size());
  const long lines = static_cast<long>(host.facts.waiting_lines);
  auto problem = [&](const std::string& what) {
    if (result.problems.size() < 20) result.problems.push_back(what);
  };
  // Exports answer true, show no message, and write the records expected.
  auto check = [&](const std::string& what, const Outcome& o, std::pair<long, long> written,
                   std::pair<long, long> expected) {
    if (o.status != 0 || !o.ok || o.messages != 0)
      problem(what + ": exit " + std::to_string(o.status) + ", answer " + (o.ok ? "true" : "false") + ", " +
              std::to_string(o.messages) + " message(s)");
    if (written != expected)
      problem(what + ": " + std::to_string(written.first) + " header and " + std::to_string(written.second) +
              " line records written, " + std::to_string(expected.first) + " and " + std::to_string(expected.second) +
              " expected");
  };

  Series floor("(c) floor: read cat_epd.dbf + body_epd.dbf", "1 MiB read(2) calls");
  struct PerMode {
    const Mode* mode;
    Series one, pass, bare;
  };
  std::vector<PerMode> modes;
  for (const Mode* m : options.modes)
    modes.push_back({m,
                     Series(std::string("(a) ExportEPD, one invoice: ") + m->name,
                            std::to_string(host.facts.probe_lines) + " lines, invoice " + id),
                     Series(std::string("(b) ExportNewEPD: ") + m->name,
                            std::to_string(invoices) + " invoices, " + std::to_string(lines) + " lines"),
                     Series(std::string("(h) ExportNewEPD without syncs: ") + m->name, "linked, syncs skipped")});
  Series full(std::string("(i) ExportNewEPD: manyfiles, ") + std::to_string(options.prefilled) + " files there", "");
  Series full_bare(std::string("(i) the same without syncs"), "linked, syncs skipped");
  Peers peers(options.peers, host.base, host.dir / "peer", id, static_cast<long>(host.facts.probe_lines));
  SetMode(host, export_dir, kModes[0]);  // the growth runs' copy of the host: two files
  GrowthRuns growth(host.dir, options.library, host.facts.probe_invoice, host.facts.probe_lines,
                    options.shape.mean_lines);

  const int rounds = std::max(options.runs, options.peer_runs);
  for (int round = -1; round < rounds; ++round) {  // round -1 warms up and is not counted
    const bool counted = round >= 0;
    if (round < options.runs) {
      Outcome f = Spawn({self, "--child=floor", host.base});
      if (f.status != 0 || !f.ok) problem("floor: the tables could not be read");
      if (counted) floor.AddOurs(f);
      for (PerMode& m : modes) {
        const std::pair<long, long> whole{m.mode->singlefile ? 0 : invoices, lines};
        SetMode(host, export_dir, *m.mode);
        EmptyDirectory(export_dir);
        Outcome a = Spawn({self, "--child=export", options.library, host.base, id});
        check(m.one.label, a, CountOutputs(export_dir),
              {m.mode->singlefile ? 0 : 1, static_cast<long>(host.facts.probe_lines)});
        EmptyDirectory(export_dir);
        Outcome b = Spawn({self, "--child=pass", options.library, host.base});
        check(m.pass.label, b, CountOutputs(export_dir), whole);
        EmptyDirectory(export_dir);
        Outcome e = Spawn({self, "--child=linked-pass", host.base, "0"});
        check(m.bare.label, e, CountOutputs(export_dir), whole);
        if (counted) {
          m.one.AddOurs(a);
          m.pass.AddOurs(b);
          m.bare.AddOurs(e);
        }
      }
      if (options.prefilled > 0) {
        SetMode(host, full_dir, kManyFiles);
        for (bool syncs : {true, false}) {
          Prefill(host, full_dir, options.prefilled);
          Outcome o = syncs ? Spawn({self, "--child=pass", options.library, host.base})
                            : Spawn({self, "--child=linked-pass", host.base, "0"});
          check(syncs ? full.label : full_bare.label, o, CountOutputs(full_dir, WaitingFiles(host)), {invoices, lines});
          if (counted) (syncs ? full : full_bare).AddOurs(o);
        }
      }
      growth.Round(counted, export_dir, [&](const char* what, const Outcome& o, long header_rows, long line_rows) {
        check(what, o, CountOutputs(export_dir), {header_rows, line_rows});
      });
    }
    if (round < options.peer_runs) {
      SetMode(host, export_dir, kModes[0]);
      peers.Round(counted);
    }
  }
  SetMode(host, export_dir, kModes[0]);  // the settings as the generator wrote them
  fs::remove_all(full_dir);

  result.series.push_back(floor);
  double many_pass = 0, many_bare = 0;
  for (PerMode& m : modes) {
    if (m.one.Measured() && m.pass.Measured()) {
      char text[160];
      std::snprintf(text, sizeof text, "; (b)/(a) = %.2f, without syncs (h)/(a) = %.2f", m.pass.ms() / m.one.ms(),
                    m.bare.ms() / m.one.ms());
      m.pass.note += text;
      std::snprintf(text, sizeof text, "; durable (b)/(h) = %.2f", m.pass.ms() / m.bare.ms());
      m.bare.note += text;
    }
    if (m.mode == &kManyFiles) {
      many_pass = m.pass.ms();
      many_bare = m.bare.ms();
    }
    result.series.push_back(m.one);
    result.series.push_back(m.pass);
    result.series.push_back(m.bare);
  }
  if (full.Measured()) {
    char text[160];
    if (many_pass > 0)
      std::snprintf(text, sizeof text, "library loaded; x the empty folder's (b) = %.2f", full.ms() / many_pass);
    full.note = many_pass > 0 ? text : "library loaded";
    if (many_bare > 0) {
      std::snprintf(text, sizeof text, "; x the empty folder's (h) = %.2f", full_bare.ms() / many_bare);
      full_bare.note += text;
    }
    result.series.push_back(full);
    result.series.push_back(full_bare);
  }
  if (growth.pass_ready.Measured() && growth.pass_grown.Measured())
    growth.pass_grown.note += "; (f')/(f) = " + Fixed(growth.pass_grown.ms() / growth.pass_ready.ms(), 2);
  for (Series* s : {&growth.grown_one, &growth.pass_ready, &growth.pass_grown, &growth.renumbered})
    result.series.push_back(*s);
  for (const Series& s : peers.Finish()) result.series.push_back(s);

  Outcome sync = Spawn({self, "--child=sync", host.dir.string()});
  double file_ms = 0, folder_ms = 0;
  const std::size_t at = sync.output.find("file_ms=");
  if (at != std::string::npos &&
      std::sscanf(sync.output.c_str() + at, "file_ms=%lf folder_ms=%lf", &file_ms, &folder_ms) == 2) {
    char text[200];
    std::snprintf(text, sizeof text, "(j) one sync here: a 4 KiB write and its fsync %.2f ms, a folder's fsync %.2f ms",
                  file_ms, folder_ms);
    result.notes.push_back(text);
  }
  return result;
}

std::string MachineText() {
  std::string model;
  std::ifstream cpu("/proc/cpuinfo");
  for (std::string line; std::getline(cpu, line);)
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  utsname u{};
  uname(&u);
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  return std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores (" + model + "), " +
         Fixed(static_cast<double>(sysconf(_SC_PHYS_PAGES)) * static_cast<double>(sysconf(_SC_PAGE_SIZE)) / (1 << 30),
               0) +
         " GiB, Linux " + u.release + ", load average " + Fixed(load[0], 2);
}

void Print(const Options& options, const std::vector<LevelResult>& results) {
  std::printf("\nMachine: %s.\n", MachineText().c_str());
  std::printf(
      "Medians of %d runs (peers: %d), the runs of all measurements taking turns, each in a process of\n"
      "its own, the tables in the page cache. ms: the call timed inside the child (ours), the whole\n"
      "process (peers); CPU: user and system time of the same; x: ratio to the floor's figure.\n\n",
      options.runs, options.peer_runs);
  std::printf("| level | measurement | ms | x floor | CPU ms | x floor | max RSS MiB | read MiB | note |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|---:|---|\n");
  for (const LevelResult& r : results) {
    const Series& floor = r.series[0];
    const double floor_ms = floor.ms();
    const double floor_cpu = floor.Measured() ? Median(floor.cpu_ms) : 0;
    for (const Series& s : r.series) {
      if (!s.Measured()) {
        std::printf("| %d | %s | | | | | | | %s |\n", r.host.level, s.label.c_str(), s.failure.c_str());
        continue;
      }
      const double ms = s.ms(), cpu = Median(s.cpu_ms);
      const double read = Median(s.read_mib);
      std::printf("| %d | %s | %s | %s | %s | %s | %s | %s | %s |\n", r.host.level, s.label.c_str(),
                  Fixed(ms, 1).c_str(), floor_ms > 0 ? Fixed(ms / floor_ms, 2).c_str() : "", Fixed(cpu, 1).c_str(),
                  floor_cpu > 0 ? Fixed(cpu / floor_cpu, 2).c_str() : "", Fixed(Median(s.rss_mib), 1).c_str(),
                  read >= 0 ? Fixed(read, 1).c_str() : "", s.note.c_str());
    }
  }
  std::printf("\n");
  for (const LevelResult& r : results) {
    std::printf("Level %d host: %u invoices in cat_epd.dbf (%.1f MiB), %u lines in body_epd.dbf (%.1f MiB).\n",
                r.host.level, r.host.facts.invoices, static_cast<double>(r.host.header_bytes) / (1 << 20),
                r.host.facts.lines, static_cast<double>(r.host.line_bytes) / (1 << 20));
    for (const std::string& note : r.notes) std::printf("Level %d: %s.\n", r.host.level, note.c_str());
  }
}

bool Parse(int argc, char** argv, Options* o) {
  for (const Mode& m : kModes) o->modes.push_back(&m);
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name, std::string* out) {
      const std::string prefix = std::string(name) + "=";
      if (a.rfind(prefix, 0) != 0) return false;
      *out = a.substr(prefix.size());
      return true;
    };
    std::string v;
    if (value("--lines", &v))
      o->shape.lines = static_cast<std::uint32_t>(std::stoul(v));
    else if (value("--mean-lines", &v))
      o->shape.mean_lines = static_cast<std::uint32_t>(std::stoul(v));
    else if (value("--waiting", &v))
      o->shape.waiting = static_cast<std::uint32_t>(std::stoul(v));
    else if (value("--seed", &v))
      o->shape.seed = static_cast<std::uint32_t>(std::stoul(v));
    else if (value("--runs", &v))
      o->runs = std::stoi(v);
    else if (value("--peer-runs", &v))
      o->peer_runs = std::stoi(v);
    else if (value("--prefilled", &v))
      o->prefilled = static_cast<std::uint32_t>(std::stoul(v));
    else if (value("--dir", &v))
      o->dir = v;
    else if (value("--library", &v))
      o->library = v;
    else if (value("--levels", &v)) {
      o->levels.clear();
      std::stringstream s(v);
      for (std::string l; std::getline(s, l, ',');) o->levels.push_back(std::stoi(l));
    } else if (value("--modes", &v)) {
      o->modes.clear();
      std::stringstream s(v);
      for (std::string key; std::getline(s, key, ',');) {
        const Mode* found = nullptr;
        for (const Mode& m : kModes)
          if (key == m.key) found = &m;
        if (found == nullptr) return false;
        o->modes.push_back(found);
      }
    } else if (a == "--no-peers") {
      o->peers = false;
    } else if (a == "--smoke") {
      o->shape.lines = 4000;
      o->shape.waiting = 30;
      o->runs = 1;
      o->peer_runs = 1;
      o->prefilled = 300;
    } else {
      std::fprintf(stderr, "unknown argument %s\n", a.c_str());
      return false;
    }
  }
  for (int level : o->levels)
    if (level != 3 && level != 7) return false;
  return o->runs > 0 && o->peer_runs >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strncmp(argv[1], "--child=", 8) == 0) {
    const std::string kind = argv[1] + 8;
    if (kind == "floor" && argc == 3) return ChildFloor(argv[2]);
    if (kind == "export" && argc == 5) return ChildExport(argv[2], argv[3], std::stoi(argv[4]));
    if (kind == "pass" && argc == 4) return ChildExport(argv[2], argv[3], std::nullopt);
    if (kind == "linked-pass" && argc == 4) return ChildLinkedPass(argv[2], std::string(argv[3]) == "1");
    if (kind == "sync" && argc == 3) return ChildSync(argv[2]);
    if (kind == "spawn" && argc >= 3) return ChildSpawn(argv + 2);
    if (kind == "growth" && argc == 9)
      return ChildGrowth(argv[2], argv[3], argv[4], std::stoi(argv[5]), std::stoi(argv[6]),
                         static_cast<std::uint32_t>(std::stoul(argv[7])),
                         static_cast<std::uint32_t>(std::stoul(argv[8])));
    return 2;
  }
  Options options;
  if (!Parse(argc, argv, &options)) {
    std::fprintf(
        stderr,
        "usage: export_bench [--lines=N] [--mean-lines=N] [--waiting=N] [--seed=N] [--runs=N]\n"
        "                    [--peer-runs=N] [--levels=3,7] [--modes=two,manyfiles,singlefile,single-many,seller]\n"
        "                    [--prefilled=N] [--dir=D] [--library=PATH] [--no-peers] [--smoke]\n");
    return 2;
  }
  try {
    std::vector<LevelResult> results;
    for (int level : options.levels) results.push_back(Measure(options, level));
    Print(options, results);
    int problems = 0;
    for (const LevelResult& r : results)
      for (const std::string& p : r.problems) {
        std::fprintf(stderr, "level %d: %s\n", r.host.level, p.c_str());
        ++problems;
      }
    if (problems != 0) {
      std::fprintf(stderr, "export_bench: wrong results\n");
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "export_bench: %s\n", epd::platform::Cp1251ToUtf8(e.what()).c_str());
    return 1;
  }
  return 0;
}
