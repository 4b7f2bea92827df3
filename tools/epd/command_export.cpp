// epd export, epd export-new: the library's ExportEPD and ExportNewEPD on the terminal.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_support.h"
#include "commands.h"
#include "config/settings_file.h"
#include "config/settings_schema.h"
#include "export/export_driver.h"
#include "export/library_state.h"
#include "export_epd.h"
#include "platform/files.h"
#include "text_table.h"

namespace epd::tool {
namespace {

// ExportEPD answers true without doing anything when export is switched off; say so once, before
// the invoices.
bool ExportSwitchedOn() {
  const config::SettingsFile settings = config::SettingsFile::InDataDirectory(exporter::State().places.data_directory);
  if (Read(settings, config::reads::export_epd::kExportSwitch)) return true;
  const config::SettingKey& key = config::keys::kExportSwitch;
  const std::string name = std::string(key.section) + "/" + std::string(key.name);
  Console::Get().Note("export is switched off (" + name + " in " + DisplayPath(settings.path()) +
                      "): nothing is exported. Switch it on with: epd settings --base DIR set " +
                      std::string(key.section) + " " + std::string(key.name) + " 1");
  return false;
}

// What happened to one invoice, as the tool prints it after "invoice N: ".
std::string Told(const exporter::ExportOutcome& outcome) {
  switch (outcome.what) {
    case exporter::Outcome::kExported: return "exported";
    case exporter::Outcome::kSwitchedOff: return "skipped (export switched off)";
    case exporter::Outcome::kDeliveryTypeDR: return "not exported (delivery type DR is never exported)";
    case exporter::Outcome::kKeptEarlierCopy: return "already exported, earlier copy kept (marked delivered)";
    case exporter::Outcome::kFailed: break;
  }
  std::string reason = ToUtf8(outcome.Reason());
  // The file as the system names it, as everywhere else in the tool's own lines.
  const std::string file = ToUtf8(outcome.file);
  const std::string shown = DisplayPath(outcome.file);
  if (!file.empty())
    for (std::size_t at = reason.find(file); at != std::string::npos; at = reason.find(file, at + shown.size()))
      reason.replace(at, file.size(), shown);
  return reason.empty() ? "not exported" : "not exported: " + Printable(reason);
}

std::string ProgressBar(int done, int total, std::int32_t id) {
  const int width = 30;
  const int filled = total > 0 ? done * width / total : width;
  std::string bar = "[";
  bar.append(filled, '#').append(width - filled, '-').append("] ");
  bar.append(std::to_string(done)).append("/").append(std::to_string(total));
  bar.append("  invoice ").append(std::to_string(id));
  return bar;
}

}  // namespace

int RunExport(const std::string& base, const std::vector<std::int32_t>& ids, const std::string& replace) {
  OpenHost(base);
  ExportSwitchedOn();
  MessageBoxes boxes(ParseReplaceAnswer(replace));
  int failed = 0;
  for (std::int32_t id : ids) {
    boxes.SetSubject("invoice " + std::to_string(id));
    // What ExportEPD does, with the outcome instead of its one-byte answer.
    const exporter::ExportOutcome outcome = exporter::ExportInvoice(id);
    if (!outcome.Succeeded()) ++failed;
    std::printf("invoice %d: %s\n", id, Told(outcome).c_str());
  }
  std::fflush(stdout);
  return failed == 0 ? kExitOk : kExitFailed;
}

int RunExportNew(const std::string& base, const std::string& replace) {
  OpenHost(base);
  const exporter::LibraryState& state = exporter::State();
  if (!state.options.bAutoExportEPD) {
    const config::SettingKey& key = config::keys::kAutoExport;
    throw Failure{"automatic export is switched off (" + std::string(key.section) + "/" + std::string(key.name) +
                  "). Switch it on with: epd settings --base DIR set " + std::string(key.section) + " " +
                  std::string(key.name) + " 1"};
  }
  const bool on = ExportSwitchedOn();
  for (const char* table : {"epdct.dbf", "epdbd.dbf"}) {
    const std::string path = state.places.orders_directory + "EPD\\" + table;
    if (!platform::FileExists(path))
      throw Failure{"the table of new invoices " + DisplayPath(path) + " does not exist"};
  }

  MessageBoxes boxes(ParseReplaceAnswer(replace));
  Console& console = Console::Get();
  int total = 0, exported = 0, kept = 0, failed = 0;
  std::vector<std::string> failures;
  exporter::SetPassObserver([&](const exporter::PassProgress& p) {
    total = p.total;
    if (!p.finished) {
      boxes.SetSubject("invoice " + std::to_string(p.id_msg));
      console.Status(ProgressBar(p.done, p.total, p.id_msg));
      return;
    }
    boxes.SetSubject("");
    if (!p.outcome.Succeeded()) {
      ++failed;
      failures.push_back("invoice " + std::to_string(p.id_msg) + ": " + Told(p.outcome));
    } else if (p.outcome.what == exporter::Outcome::kKeptEarlierCopy) {
      ++kept;
    } else {
      ++exported;
    }
    console.Status(ProgressBar(p.done, p.total, p.id_msg));
  });
  const bool ran = ::ExportNewEPD();
  exporter::SetPassObserver(nullptr);
  console.ClearStatus();
  if (!ran) throw Failure{"the automatic export did not run"};
  if (!on) return kExitOk;
  std::printf("%d invoice(s) waiting: %d exported, %d kept as exported before, %d failed\n", total, exported, kept,
              failed);
  for (const std::string& line : failures) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace epd::tool
