#include "growth_runs.h"

#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace epd::bench {

int ChildGrowth(const std::string& kind, const std::string& library, const std::string& base, std::int32_t probe,
                std::int32_t first, std::uint32_t invoices, std::uint32_t lines) {
  Library lib = Load(library);
  CountMessages(lib);
  lib.initialize(base.c_str());
  if (!lib.export_one(probe, 1)) return 1;
  if (kind == "renumbered") RenumberLastLine(base, first);
  if (kind != "pass-ready") {
    const std::vector<std::string> headers = AppendInvoices(base, first, invoices, lines);
    if (kind == "pass") ListInvoices(base, headers);
  }
  const ChildClock clock;
  const bool ok = kind.starts_with("pass") ? lib.export_new() : lib.export_one(first, 1);
  clock.Report(ok, MessagesShown());
  return 0;
}

GrowthRuns::GrowthRuns(const fs::path& host_dir, std::string library, std::int32_t probe, std::uint32_t probe_lines,
                       std::uint32_t lines)
    : library_(std::move(library)), dir_(host_dir / "growth"), probe_(probe), probe_lines_(probe_lines), lines_(lines) {
  fs::remove_all(dir_);
  fs::create_directories(dir_);
  for (const char* sub : {"ORDERS", "DATA", "Price"}) fs::copy(host_dir / sub, dir_ / sub, fs::copy_options::recursive);
  base_ = dir_.string() + "/";
  pristine_ = Remember(base_);
  const std::string n = std::to_string(lines_) + " lines";
  const std::string pass = std::to_string(kAppendedForPass) + " invoices of " + n;
  grown_one.note = n + " appended by the host";
  pass_ready.note = pass + ", appended before the tables were learned";
  pass_grown.note = pass + ", appended after";
  renumbered.note = "an old line renumbered, " + n + " appended: read whole";
}

GrowthRuns::~GrowthRuns() { fs::remove_all(dir_); }

void GrowthRuns::Round(bool counted, const fs::path& export_dir, const Check& check) {
  const long probe = static_cast<long>(probe_lines_), lines = static_cast<long>(lines_);
  const long many = static_cast<long>(kAppendedForPass);
  Run("export", 1, counted, export_dir, check, "(e)", &grown_one, 2, probe + lines);
  Run("pass-ready", kAppendedForPass, counted, export_dir, check, "(f)", &pass_ready, 1 + many, probe + many * lines);
  Run("pass", kAppendedForPass, counted, export_dir, check, "(f')", &pass_grown, 1 + many, probe + many * lines);
  Run("renumbered", 1, counted, export_dir, check, "(g)", &renumbered, 2, probe + lines + 1);
}

void GrowthRuns::Run(const char* kind, std::uint32_t invoices, bool counted, const fs::path& export_dir,
                     const Check& check, const char* what, Series* series, long header_rows, long line_rows) {
  EmptyDirectory(export_dir);
  const std::int32_t first = pristine_.next_invoice;
  if (std::string(kind) == "pass-ready") ListInvoices(base_, AppendInvoices(base_, first, invoices, lines_));
  const Outcome o = Spawn({SelfPath(), "--child=growth", kind, library_, base_, std::to_string(probe_),
                           std::to_string(first), std::to_string(invoices), std::to_string(lines_)});
  PutBack(base_, pristine_);
  check(what, o, header_rows, line_rows);
  if (counted) series->AddOurs(o);
}

}  // namespace epd::bench
