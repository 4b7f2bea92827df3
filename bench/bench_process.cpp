#include "bench_process.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/codepage.h"

namespace fs = std::filesystem;

namespace epd::bench {

namespace {

int g_messages = 0;

std::uint64_t BytesRead() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return 0;
}

std::int64_t CpuNs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto ns = [](const timeval& t) { return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_usec * 1000; };
  return ns(usage.ru_utime) + ns(usage.ru_stime);
}

}  // namespace

int EPD_STDCALL CountMessage(int kind, const char* /*title*/, const char* text, void* /*user*/) {
  ++g_messages;
  std::fprintf(stderr, "message (%s): %s\n", kind == 0 ? "error" : "question",
               epd::platform::Cp1251ToUtf8(text).c_str());
  return 0;  // "No" to the duplicate question, which a fresh output never raises
}

Library Load(const std::string& path) {
  Library lib;
  lib.handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib.handle == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
    std::exit(3);
  }
  lib.initialize = reinterpret_cast<decltype(lib.initialize)>(dlsym(lib.handle, "InitializeEPD"));
  lib.export_one = reinterpret_cast<decltype(lib.export_one)>(dlsym(lib.handle, "ExportEPD"));
  lib.export_new = reinterpret_cast<decltype(lib.export_new)>(dlsym(lib.handle, "ExportNewEPD"));
  lib.set_handler = reinterpret_cast<decltype(lib.set_handler)>(dlsym(lib.handle, "EPDSetMessageHandler"));
  if (!lib.initialize || !lib.export_one || !lib.export_new || !lib.set_handler) {
    std::fprintf(stderr, "%s lacks an exported function\n", path.c_str());
    std::exit(3);
  }
  return lib;
}

void CountMessages(Library& lib) { lib.set_handler(&CountMessage, nullptr); }
int MessagesShown() { return g_messages; }

ChildClock::ChildClock() : t0(Clock::now()), cpu0(CpuNs()), read0(BytesRead()) {}

void ChildClock::Report(bool ok, int messages) const {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count();
  std::printf("ns=%lld cpu=%lld ok=%d messages=%d read=%llu\n", static_cast<long long>(ns),
              static_cast<long long>(CpuNs() - cpu0), ok ? 1 : 0, messages,
              static_cast<unsigned long long>(BytesRead() - read0));
}

// Runs a program and reports on its last line of output "spawn status=<s> wall=<ns> cpu=<ns>
// maxrss=<KiB>". A process's peak memory counts the memory of the process it was forked from;
// this one is small, fresh from exec, where the benchmark itself holds what it generated.
int ChildSpawn(char** argv) {
  const auto t0 = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) < 0) return 1;
  const auto wall = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count();
  auto ns = [](const timeval& t) { return static_cast<long long>(t.tv_sec) * 1000000000 + t.tv_usec * 1000; };
  std::fflush(stdout);
  std::printf("\nspawn status=%d wall=%lld cpu=%lld maxrss=%ld\n",
              WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), static_cast<long long>(wall),
              ns(usage.ru_utime) + ns(usage.ru_stime), usage.ru_maxrss);
  return 0;
}

std::string SelfPath() { return fs::read_symlink("/proc/self/exe").string(); }

Outcome Spawn(const std::vector<std::string>& argv, bool quiet_stderr) {
  Outcome o;
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0) return o;
  static const std::string self = SelfPath();
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    close(out_pipe[1]);
    close(err_pipe[1]);
    std::vector<char*> args = {const_cast<char*>(self.c_str()), const_cast<char*>("--child=spawn")};
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  o.started = pid > 0;
  char buf[4096];
  pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
  std::string* sinks[2] = {&o.output, &o.error};
  for (int open_pipes = 2; open_pipes > 0;) {
    if (poll(fds, 2, -1) < 0) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        sinks[i]->append(buf, static_cast<std::size_t>(n));
      } else {
        fds[i].fd = -1;
        --open_pipes;
      }
    }
  }
  close(out_pipe[0]);
  close(err_pipe[0]);
  int helper_status = 0;
  if (pid > 0) waitpid(pid, &helper_status, 0);
  long long wall = 0, cpu = 0;
  long maxrss = 0;
  const std::size_t at = o.output.rfind("spawn status=");
  if (at == std::string::npos || std::sscanf(o.output.c_str() + at, "spawn status=%d wall=%lld cpu=%lld maxrss=%ld",
                                             &o.status, &wall, &cpu, &maxrss) != 4) {
    o.status = -1;
  }
  o.wall_ms = static_cast<double>(wall) / 1e6;
  o.cpu_ms = static_cast<double>(cpu) / 1e6;
  o.rss_mib = static_cast<double>(maxrss) / 1024.0;
  long long ns = 0, work_cpu = 0;
  unsigned long long read = 0;
  int ok = 0;
  const std::size_t line = o.output.find("ns=");
  if (line != std::string::npos && std::sscanf(o.output.c_str() + line, "ns=%lld cpu=%lld ok=%d messages=%d read=%llu",
                                               &ns, &work_cpu, &ok, &o.messages, &read) == 5) {
    o.work_ms = static_cast<double>(ns) / 1e6;
    o.work_cpu_ms = static_cast<double>(work_cpu) / 1e6;
    o.ok = ok != 0;
    o.read_mib = static_cast<double>(read) / (1 << 20);
  }
  if (!quiet_stderr && !o.error.empty()) std::fprintf(stderr, "%s", o.error.c_str());
  return o;
}

bool Installed(const std::string& program) {
  if (program.find('/') != std::string::npos) return access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "");
  for (std::string d; std::getline(dirs, d, ':');)
    if (!d.empty() && access((d + "/" + program).c_str(), X_OK) == 0) return true;
  return false;
}

void EmptyDirectory(const fs::path& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
}

}  // namespace epd::bench
