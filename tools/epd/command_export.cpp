// epd export, epd export-new: the library's ExportEPD and ExportNewEPD on the terminal.
#include <cstdio>
#include <string>

#include "cli_support.h"
#include "commands.h"
#include "config/settings_file.h"
#include "export/export_driver.h"
#include "export/library_state.h"
#include "export_epd.h"
#include "platform/files.h"

namespace epd::tool {
namespace {

// ExportEPD answers true without doing anything when export is switched off; say so.
bool ExportSwitchedOn() {
  const config::SettingsFile settings = config::SettingsFile::InDataDirectory(exporter::State().data_directory);
  if (settings.ReadBool("EPD", "bExportEPD", false)) return true;
  Console::Get().Note("export is switched off (EPD/bExportEPD in " + DisplayPath(settings.path()) +
                      "): nothing is exported. Switch it on with: epd settings --base DIR set EPD bExportEPD 1");
  return false;
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
  const bool on = ExportSwitchedOn();
  MessageBoxes boxes(ParseReplaceAnswer(replace));
  int failed = 0;
  for (std::int32_t id : ids) {
    boxes.Reset();
    boxes.SetSubject("invoice " + std::to_string(id));
    const int errors_before = boxes.errors();
    const bool ok = ::ExportEPD(id, 0);
    std::string outcome;
    if (!on) {
      outcome = "skipped (export switched off)";
    } else if (!ok) {
      ++failed;
      outcome = boxes.errors() == errors_before ? "not exported (delivery type DR is never exported)" : "not exported";
    } else if (boxes.declined()) {
      outcome = "already exported, earlier copy kept (marked delivered)";
    } else {
      outcome = "exported";
    }
    std::printf("invoice %d: %s\n", id, outcome.c_str());
  }
  std::fflush(stdout);
  return failed == 0 ? kExitOk : kExitFailed;
}

int RunExportNew(const std::string& base, const std::string& replace) {
  OpenHost(base);
  const auto& state = exporter::State();
  if (!state.bAutoExportEPD)
    throw Failure{
        "automatic export is switched off (EPD/bAutoExportEPD). Switch it on with: "
        "epd settings --base DIR set EPD bAutoExportEPD 1"};
  const bool on = ExportSwitchedOn();
  for (const char* table : {"epdct.dbf", "epdbd.dbf"}) {
    const std::string path = state.orders_directory + "EPD\\" + table;
    if (!platform::FileExists(path))
      throw Failure{"the table of new invoices " + DisplayPath(path) + " does not exist"};
  }

  MessageBoxes boxes(ParseReplaceAnswer(replace));
  Console& console = Console::Get();
  int total = 0, exported = 0, kept = 0, failed = 0;
  exporter::SetPassObserver([&](const exporter::PassProgress& p) {
    total = p.total;
    if (!p.finished) {
      boxes.Reset();
      boxes.SetSubject("invoice " + std::to_string(p.id_msg));
      console.Status(ProgressBar(p.done, p.total, p.id_msg));
      return;
    }
    boxes.SetSubject("");
    if (!p.exported)
      ++failed;
    else if (boxes.declined())
      ++kept;
    else
      ++exported;
    console.Status(ProgressBar(p.done, p.total, p.id_msg));
  });
  const bool ran = ::ExportNewEPD();
  exporter::SetPassObserver(nullptr);
  console.ClearStatus();
  if (!ran) throw Failure{"the automatic export did not run"};
  if (!on) return kExitOk;
  std::printf("%d invoice(s) waiting: %d exported, %d kept as exported before, %d failed\n", total, exported, kept,
              failed);
  std::fflush(stdout);
  return failed == 0 ? kExitOk : kExitFailed;
}

}  // namespace epd::tool
