// The export's benchmark. On one generated host directory per table level it measures, in one
// run and on the same files:
//   (a) ExportEPD of one invoice of about 20 lines, two-file mode, every field mapped;
//   (b) ExportNewEPD over the waiting invoices (1,000 by default);
//   (c) the floor: one sequential read of cat_epd.dbf and body_epd.dbf with 1 MiB read(2) calls;
//   (d) the peers, where installed, writing the same invoice's header and lines into new .dbf
//       files: GDAL's ogr2ogr -where, and Python's dbf module (Debian's /usr/bin/python3);
// and in one process as the host runs the library all day, a first export having taught it the
// tables, after the host's own program (bench/host_appender.h) changed them:
//   (e) ExportEPD of an invoice of about 20 lines the host has just appended;
//   (f) ExportNewEPD over 100 such invoices, appended before the process started (the tables as
//       the library learned them), and (f') the same 100 invoices appended after it learned them;
//   (g) ExportEPD as in (e), the host having also given an old line the new invoice's number: a
//       change the library must notice, reading the tables whole.
// Every measured thing runs in a child process of its own, so that its peak memory (ru_maxrss
// from wait4) is its own and no run inherits another's caches; the library is loaded with dlopen
// and driven through its exported functions, as the host drives it. Each run starts from the
// same state: empty output directory, the files of the host untouched otherwise (the invoices'
// DLVCHN is 1 after the first export and is written again, byte for byte the same, by every
// later one); (e) to (g) work on a copy of the host that is put back after every run. The runs
// of the different measurements take turns, and the table shows medians.
//
//   export_bench [--lines=N] [--mean-lines=N] [--waiting=N] [--seed=N] [--runs=N] [--peer-runs=N]
//                [--levels=3,7] [--dir=D] [--library=PATH] [--no-peers] [--smoke]
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
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "bench_process.h"
#include "export_epd.h"
#include "growth_runs.h"
#include "host_generator.h"
#include "platform/codepage.h"
#include "tables/table.h"

namespace fs = std::filesystem;

namespace {

using namespace epd::bench;

struct Options {
  epd::bench::HostShape shape;
  int runs = 5;
  int peer_runs = 3;
  std::vector<int> levels = {3, 7};
  std::string dir = "/tmp/epd_export_bench";
  std::string library = EPD_LIBRARY_PATH;
  bool peers = true;
};

// ---------------------------------------------------------------------------------------------
// Children: each prints one line "ns=<work time> cpu=<cpu ns> ok=<0|1> messages=<n> read=<bytes>".

int ChildFloor(const std::string& base) {
  std::vector<char> buffer(1u << 20);
  const std::uint64_t read0 = BytesRead();
  const std::int64_t cpu0 = CpuNs();
  const auto t0 = Clock::now();
  std::uint64_t total = 0;
  for (const char* name : {"cat_epd.dbf", "body_epd.dbf"}) {
    const int fd = open((base + "ORDERS/EPD/" + name).c_str(), O_RDONLY);
    if (fd < 0) return 1;
    for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<std::uint64_t>(n);
    close(fd);
  }
  PrintChildResult(t0, cpu0, read0, total > 0, 0);
  return 0;
}

int ChildExport(const std::string& library, const std::string& base, std::optional<std::int32_t> id) {
  Library lib = Load(library);
  CountMessages(lib);
  lib.initialize(base.c_str());
  const std::uint64_t read0 = BytesRead();
  const std::int64_t cpu0 = CpuNs();
  const auto t0 = Clock::now();
  const bool ok = id ? lib.export_one(*id, 1) : lib.export_new();
  PrintChildResult(t0, cpu0, read0, ok, MessagesShown());
  return 0;
}

// ---------------------------------------------------------------------------------------------
// The parent.

// Live records of a table, through the engine; -1 when it cannot be read.
long CountRows(const fs::path& path) {
  try {
    auto table = epd::tables::Table::Open(path.string());
    long n = 0;
    for (table->First(); !table->Eof(); table->Next()) ++n;
    table->Close();
    return n;
  } catch (const std::exception&) {
    return -1;
  }
}

const char* kPythonPeer = R"(import sys, dbf
base, out, n = sys.argv[1], sys.argv[2], int(sys.argv[3])
def copy(name, target):
    src = dbf.Table(base + 'ORDERS/EPD/' + name, codepage='cp1251')
    src.open(dbf.READ_ONLY)
    dst = src.new(out + '/' + target)
    dst.open(dbf.READ_WRITE)
    for rec in src:
        if rec.idmsg == n:
            dst.append(rec)
    dst.close()
    src.close()
copy('cat_epd.dbf', 'h.dbf')
copy('body_epd.dbf', 'b.dbf')
)";

struct Host {
  int level = 3;
  fs::path dir;
  std::string base;  // dir + "/"
  epd::bench::HostFacts facts;
  std::uint64_t header_bytes = 0, line_bytes = 0;
};

void SaveFacts(const fs::path& file, const std::string& description, const epd::bench::HostFacts& f) {
  std::ofstream out(file);
  out << description << "\n"
      << f.invoices << " " << f.lines << " " << f.probe_invoice << " " << f.probe_lines << " " << f.waiting_lines << " "
      << f.waiting.size();
  for (std::int32_t id : f.waiting) out << " " << id;
  out << "\n";
}

bool LoadFacts(const fs::path& file, const std::string& description, epd::bench::HostFacts* f) {
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
  epd::bench::HostShape shape = options.shape;
  shape.level = level;
  const std::string description = epd::bench::Describe(shape);
  const fs::path facts_file = host.dir / "host.txt";
  const fs::path epd = host.dir / "ORDERS" / "EPD";
  if (!LoadFacts(facts_file, description, &host.facts) || !fs::exists(epd / "body_epd.dbf")) {
    std::fprintf(stderr, "generating the level %d host in %s (%s) ...\n", level, host.dir.c_str(), description.c_str());
    const auto t0 = Clock::now();
    fs::remove_all(host.dir);
    fs::create_directories(host.dir);
    host.facts = epd::bench::GenerateHost(host.base, shape, (host.dir / "export").string());
    SaveFacts(facts_file, description, host.facts);
    std::fprintf(stderr, "  done in %.1f s\n", std::chrono::duration<double>(Clock::now() - t0).count());
  }
  host.header_bytes = fs::file_size(epd / "cat_epd.dbf");
  host.line_bytes = fs::file_size(epd / "body_epd.dbf");
  return host;
}

struct LevelResult {
  Host host;
  std::vector<Series> series;  // floor, (a), (b), peers
  std::vector<std::string> problems;
};

LevelResult Measure(const Options& options, int level) {
  LevelResult result;
  result.host = PrepareHost(options, level);
  const Host& host = result.host;
  const std::string self = SelfPath();
  const fs::path export_dir = host.dir / "export";
  const fs::path peer_dir = host.dir / "peer";
  const std::string id = std::to_string(host.facts.probe_invoice);
  auto problem = [&](const std::string& what) {
    if (result.problems.size() < 20) result.problems.push_back(what);
  };

  Series floor("(c) floor: read cat_epd.dbf + body_epd.dbf", "1 MiB read(2) calls");
  Series one("(a) ExportEPD, one invoice", std::to_string(host.facts.probe_lines) + " lines, invoice " + id);
  Series pass("(b) ExportNewEPD", std::to_string(host.facts.waiting.size()) + " invoices, " +
                                      std::to_string(host.facts.waiting_lines) + " lines");
  pass.ratio_to = 1;
  pass.ratio_label = "(b)/(a)";
  Series gdal("(d) GDAL ogr2ogr -where", "2 processes: header, lines");
  Series python("(d) Python dbf", "/usr/bin/python3, one process");
  gdal.times_one = python.times_one = true;
  GrowthRuns growth(host.dir, options.library, host.facts.probe_invoice, host.facts.probe_lines,
                    options.shape.mean_lines);
  growth.pass_grown.ratio_to = 4;  // (f), by its place in the list below
  growth.pass_grown.ratio_label = "(f')/(f)";
  // What the peers take before they do anything: a process that only starts.
  Series gdal_start("", ""), python_start("", "");
  const bool have_gdal = options.peers && Installed("ogr2ogr");
  const bool have_python = options.peers && Installed("/usr/bin/python3") &&
                           Spawn({"/usr/bin/python3", "-c", "import dbf"}, true).status == 0;
  if (!have_gdal) gdal.failure = options.peers ? "not installed" : "not run";
  if (!have_python) python.failure = options.peers ? "not installed" : "not run";
  const fs::path script = host.dir / "peer_dbf.py";
  std::ofstream(script) << kPythonPeer;

  // What is wrong with the records written, or the empty text.
  auto wrong_outputs = [&](const fs::path& h, long header_rows, const fs::path& b, long line_rows) {
    const long hr = CountRows(h), lr = CountRows(b);
    if (hr == header_rows && lr == line_rows) return std::string();
    return std::to_string(hr) + " header and " + std::to_string(lr) + " line records written, " +
           std::to_string(header_rows) + " and " + std::to_string(line_rows) + " expected";
  };
  auto check_outputs = [&](const char* what, const fs::path& h, long header_rows, const fs::path& b, long line_rows) {
    const std::string wrong = wrong_outputs(h, header_rows, b, line_rows);
    if (!wrong.empty()) problem(std::string(what) + ": " + wrong);
  };
  auto check_ours = [&](const char* what, const Outcome& o) {
    if (o.status != 0 || !o.ok || o.messages != 0)
      problem(std::string(what) + ": exit " + std::to_string(o.status) + ", answer " + (o.ok ? "true" : "false") +
              ", " + std::to_string(o.messages) + " message(s)");
  };

  const int rounds = std::max(options.runs, options.peer_runs);
  for (int round = -1; round < rounds; ++round) {  // round -1 warms up and is not counted
    const bool counted = round >= 0;
    if (round < options.runs) {
      Outcome f = Spawn({self, "--child=floor", host.base});
      if (f.status != 0 || !f.ok) problem("floor: the tables could not be read");
      if (counted) floor.AddOurs(f);

      EmptyDirectory(export_dir);
      Outcome a = Spawn({self, "--child=export", options.library, host.base, id});
      check_ours("(a)", a);
      check_outputs("(a)", export_dir / "cat_epd.dbf", 1, export_dir / "body_epd.dbf",
                    static_cast<long>(host.facts.probe_lines));
      if (counted) one.AddOurs(a);

      EmptyDirectory(export_dir);
      Outcome b = Spawn({self, "--child=pass", options.library, host.base});
      check_ours("(b)", b);
      check_outputs("(b)", export_dir / "cat_epd.dbf", static_cast<long>(host.facts.waiting.size()),
                    export_dir / "body_epd.dbf", static_cast<long>(host.facts.waiting_lines));
      if (counted) pass.AddOurs(b);

      growth.Round(counted, export_dir, [&](const char* what, const Outcome& o, long header_rows, long line_rows) {
        check_ours(what, o);
        check_outputs(what, export_dir / "cat_epd.dbf", header_rows, export_dir / "body_epd.dbf", line_rows);
      });
    }
    if (round < options.peer_runs && have_gdal && gdal.failure.empty()) {
      EmptyDirectory(peer_dir);
      Outcome total;
      bool failed = false;
      for (const auto& [source, target] : {std::pair{"cat_epd.dbf", "h.dbf"}, std::pair{"body_epd.dbf", "b.dbf"}}) {
        Outcome o = Spawn({"ogr2ogr", "--config", "SHAPE_ENCODING", "", "-f", "ESRI Shapefile",
                           (peer_dir / target).string(), host.base + "ORDERS/EPD/" + source, "-where", "IDMSG=" + id},
                          true);
        if (o.status != 0) {
          failed = true;
          const std::string first_line = o.error.substr(0, o.error.find('\n'));
          gdal.failure = "fails: " + first_line;
          break;
        }
        total.wall_ms += o.wall_ms;
        total.cpu_ms += o.cpu_ms;
        total.rss_mib = std::max(total.rss_mib, o.rss_mib);
      }
      if (!failed) {
        const std::string wrong =
            wrong_outputs(peer_dir / "h.dbf", 1, peer_dir / "b.dbf", static_cast<long>(host.facts.probe_lines));
        if (!wrong.empty())
          gdal.failure = "wrong result: " + wrong;
        else if (counted)
          gdal.AddProcess(total);
      }
      if (counted) {
        Outcome version = Spawn({"ogr2ogr", "--version"}, true);
        gdal_start.AddProcess(version);
      }
    }
    if (round < options.peer_runs && have_python && python.failure.empty()) {
      EmptyDirectory(peer_dir);
      Outcome o = Spawn({"/usr/bin/python3", script.string(), host.base, peer_dir.string(), id}, true);
      if (o.status != 0) {
        std::string last = o.error;
        while (!last.empty() && last.back() == '\n') last.pop_back();
        python.failure = "fails: " + last.substr(last.rfind('\n') + 1);
      } else {
        const std::string wrong =
            wrong_outputs(peer_dir / "h.dbf", 1, peer_dir / "b.dbf", static_cast<long>(host.facts.probe_lines));
        if (!wrong.empty())
          python.failure = "wrong result: " + wrong;
        else if (counted)
          python.AddProcess(o);
      }
      if (counted) python_start.AddProcess(Spawn({"/usr/bin/python3", "-c", "import dbf"}, true));
    }
  }
  fs::remove_all(peer_dir);
  if (gdal_start.Measured())
    gdal.note += "; start-up alone " + std::to_string(static_cast<int>(Median(gdal_start.time_ms) * 2)) + " ms";
  if (python_start.Measured())
    python.note += "; start-up alone " + std::to_string(static_cast<int>(Median(python_start.time_ms))) + " ms";
  result.series = {floor, one,   growth.grown_one, pass, growth.pass_ready, growth.pass_grown, growth.renumbered,
                   gdal,  python};
  return result;
}

std::string Fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
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
    const double floor_ms = floor.Measured() ? Median(floor.time_ms) : 0;
    const double floor_cpu = floor.Measured() ? Median(floor.cpu_ms) : 0;
    const double one_ms = r.series[1].Measured() ? Median(r.series[1].time_ms) : 0;
    for (std::size_t i = 0; i < r.series.size(); ++i) {
      const Series& s = r.series[i];
      if (!s.Measured()) {
        std::printf("| %d | %s | | | | | | | %s |\n", r.host.level, s.label.c_str(), s.failure.c_str());
        continue;
      }
      const double ms = Median(s.time_ms), cpu = Median(s.cpu_ms);
      std::string note = s.note;
      if (s.ratio_to >= 0 && r.series[static_cast<std::size_t>(s.ratio_to)].Measured())
        note += "; " + s.ratio_label + " = " +
                Fixed(ms / Median(r.series[static_cast<std::size_t>(s.ratio_to)].time_ms), 2);
      if (s.times_one && one_ms > 0) note += "; " + Fixed(ms / one_ms, 0) + "x (a)";
      const double read = Median(s.read_mib);
      std::printf("| %d | %s | %s | %s | %s | %s | %s | %s | %s |\n", r.host.level, s.label.c_str(),
                  Fixed(ms, 1).c_str(), floor_ms > 0 ? Fixed(ms / floor_ms, 2).c_str() : "", Fixed(cpu, 1).c_str(),
                  floor_cpu > 0 ? Fixed(cpu / floor_cpu, 2).c_str() : "", Fixed(Median(s.rss_mib), 1).c_str(),
                  read >= 0 ? Fixed(read, 1).c_str() : "", note.c_str());
    }
  }
  std::printf("\n");
  for (const LevelResult& r : results)
    std::printf("Level %d host: %u invoices in cat_epd.dbf (%.1f MiB), %u lines in body_epd.dbf (%.1f MiB).\n",
                r.host.level, r.host.facts.invoices, static_cast<double>(r.host.header_bytes) / (1 << 20),
                r.host.facts.lines, static_cast<double>(r.host.line_bytes) / (1 << 20));
}

bool Parse(int argc, char** argv, Options* o) {
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
    else if (value("--dir", &v))
      o->dir = v;
    else if (value("--library", &v))
      o->library = v;
    else if (value("--levels", &v)) {
      o->levels.clear();
      std::stringstream s(v);
      for (std::string l; std::getline(s, l, ',');) o->levels.push_back(std::stoi(l));
    } else if (a == "--no-peers")
      o->peers = false;
    else if (a == "--smoke") {
      o->shape.lines = 4000;
      o->shape.waiting = 30;
      o->runs = 1;
      o->peer_runs = 1;
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
    if (kind == "spawn" && argc >= 3) return ChildSpawn(argv + 2);
    if (kind == "growth" && argc == 9)
      return ChildGrowth(argv[2], argv[3], argv[4], std::stoi(argv[5]), std::stoi(argv[6]),
                         static_cast<std::uint32_t>(std::stoul(argv[7])),
                         static_cast<std::uint32_t>(std::stoul(argv[8])));
    return 2;
  }
  Options options;
  if (!Parse(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: export_bench [--lines=N] [--mean-lines=N] [--waiting=N] [--seed=N] [--runs=N]\n"
                 "                    [--peer-runs=N] [--levels=3,7] [--dir=D] [--library=PATH] [--no-peers] "
                 "[--smoke]\n");
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
