#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "export_epd.h"

// The export benchmark's processes: every measured thing runs in a child process of its own,
// started through a small spawning child so that its peak memory (ru_maxrss from wait4) is its
// own, and reports what it timed on one line of its output.
namespace epd::bench {

using Clock = std::chrono::steady_clock;

// In a child of ours: the counters before the work (bytes read by its calls, rchar; processor
// time), and the line "ns=<work time> cpu=<cpu ns> ok=<0|1> messages=<n> read=<bytes>" that
// reports it to the parent.
struct ChildClock {
  ChildClock();
  void Report(bool ok, int messages) const;

  Clock::time_point t0;
  std::int64_t cpu0;
  std::uint64_t read0;
};

// The library in a child, loaded as the host loads its plug-in and driven through its exported
// functions.
struct Library {
  void* handle = nullptr;
  decltype(&::InitializeEPD) initialize = nullptr;
  decltype(&::ExportEPD) export_one = nullptr;
  decltype(&::ExportNewEPD) export_new = nullptr;
  decltype(&::EPDSetMessageHandler) set_handler = nullptr;
};
// Leaves the process (status 3) when the library cannot be loaded.
Library Load(const std::string& path);
// Every message box the library shows is written to stderr and counted; questions are answered
// No (the duplicate question, which a fresh output never raises).
void CountMessages(Library& lib);
int MessagesShown();
// The handler CountMessages installs, for a child that links the library in.
int EPD_STDCALL CountMessage(int kind, const char* title, const char* text, void* user);

// The spawning child: runs argv and reports on its last line of output "spawn status=<s>
// wall=<ns> cpu=<ns> maxrss=<KiB>".
int ChildSpawn(char** argv);

struct Outcome {
  bool started = false;
  int status = -1;
  double wall_ms = 0;      // the whole child process
  double cpu_ms = 0;       // the whole child process: user and system time
  double work_ms = 0;      // what the child timed itself (our children only)
  double work_cpu_ms = 0;  // and the processor time of that
  double rss_mib = 0;      // ru_maxrss
  double read_mib = 0;     // bytes read by the child's calls (our children only)
  bool ok = false;         // our children: the call answered true
  int messages = 0;
  std::string output;
  std::string error;
};

std::string SelfPath();
// Runs `argv` through the spawning child (ChildSpawn) and collects its output and figures.
Outcome Spawn(const std::vector<std::string>& argv, bool quiet_stderr = false);
bool Installed(const std::string& program);
void EmptyDirectory(const std::filesystem::path& dir);
double Median(std::vector<double> v);

// The runs of one measured thing. `time` and `cpu` are what the child timed around the call
// (ours) or the whole process (the peers).
struct Series {
  Series(std::string l, std::string n) : label(std::move(l)), note(std::move(n)) {}
  std::string label;
  std::string note;
  std::vector<double> time_ms, cpu_ms, process_ms, rss_mib, read_mib;
  std::string failure;  // why the measurement could not be made, when it could not
  bool Measured() const { return !time_ms.empty(); }
  double ms() const { return Measured() ? Median(time_ms) : 0; }
  void AddOurs(const Outcome& o) { Add(o.work_ms, o.work_cpu_ms, o.wall_ms, o.rss_mib, o.read_mib); }
  void AddProcess(const Outcome& o) { Add(o.wall_ms, o.cpu_ms, o.wall_ms, o.rss_mib, -1); }
  void Add(double time, double cpu, double process, double rss, double read) {
    time_ms.push_back(time);
    cpu_ms.push_back(cpu);
    process_ms.push_back(process);
    rss_mib.push_back(rss);
    read_mib.push_back(read);
  }
};

}  // namespace epd::bench
