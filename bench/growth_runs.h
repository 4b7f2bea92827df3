#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "bench_process.h"
#include "host_appender.h"

// The export benchmark's measurements (e) to (g): the library in one process as the host runs it
// all day, a first export having taught it the tables, after the host's own program changed them
// (host_appender.h). They work on a copy of the host's directory, put back after every run.
namespace epd::bench {

// The invoices the host appends: 1 for a single export, this many for a pass.
constexpr std::uint32_t kAppendedForPass = 100;

// The child: teaches the library the tables by exporting `probe`, lets the host's program work,
// then times the measured call. `kind`: "export" (the host appended one invoice, which is
// exported), "renumbered" (an old line given the new invoice's number first), "pass" (the host
// appended the invoices and listed them), "pass-ready" (the parent did that before this process
// started, so the library learned the tables with them).
int ChildGrowth(const std::string& kind, const std::string& library, const std::string& base, std::int32_t probe,
                std::int32_t first, std::uint32_t invoices, std::uint32_t lines);

class GrowthRuns {
 public:
  using Check = std::function<void(const char* what, const Outcome& o, long header_rows, long line_rows)>;

  GrowthRuns(const std::filesystem::path& host_dir, std::string library, std::int32_t probe, std::uint32_t probe_lines,
             std::uint32_t lines);
  ~GrowthRuns();
  GrowthRuns(const GrowthRuns&) = delete;
  GrowthRuns& operator=(const GrowthRuns&) = delete;

  // One run of each, the outputs in `export_dir` checked by `check`; counted unless a warm-up.
  void Round(bool counted, const std::filesystem::path& export_dir, const Check& check);

  Series grown_one{"(e) ExportEPD, an invoice the host appended", ""};
  Series pass_ready{"(f) ExportNewEPD, tables unchanged since learned", ""};
  Series pass_grown{"(f') ExportNewEPD, invoices the host appended", ""};
  Series renumbered{"(g) ExportEPD, the host also changed an old line", ""};

 private:
  void Run(const char* kind, std::uint32_t invoices, bool counted, const std::filesystem::path& export_dir,
           const Check& check, const char* what, Series* series, long header_rows, long line_rows);

  std::string library_;
  std::filesystem::path dir_;
  std::string base_;
  std::int32_t probe_;
  std::uint32_t probe_lines_, lines_;
  HostTables pristine_;
};

}  // namespace epd::bench
