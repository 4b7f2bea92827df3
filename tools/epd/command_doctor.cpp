// epd doctor: checks a host's set-up the way an export will meet it, and says per finding what
// is wrong and what to do. Changes nothing: the one file it writes is a scratch file in the
// export directory, removed at once, and the output structure is tried in a scratch folder of
// the system's temporary files.
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "cli_support.h"
#include "commands.h"
#include "config/settings_schema.h"
#include "doctor.h"
#include "export/library_state.h"

namespace epd::tool {
namespace {

using doctor::Finding;
using doctor::Findings;
using doctor::Severity;

// A folder of its own among the system's temporary files, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    namespace fs = std::filesystem;
    std::random_device random;
    folder_ = fs::temp_directory_path() / ("epd-doctor-" + std::to_string(random()));
    fs::create_directories(folder_);
    const std::u8string u8 = folder_.u8string();
    program_path_ = ProgramDirectory(std::string(u8.begin(), u8.end()));
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& path() const { return program_path_; }  // in the program's form

 private:
  std::filesystem::path folder_;
  std::string program_path_;
};

const char* Mark(Severity severity) {
  switch (severity) {
    case Severity::kOk: return "ok      ";
    case Severity::kNote: return "note    ";
    case Severity::kWarning: return "WARNING ";
    case Severity::kProblem: return "PROBLEM ";
  }
  return "";
}

// Grouped by the part of the set-up, in the order an export meets them.
void Print(const Findings& findings) {
  const char* topics[] = {"Settings",     "Export directory", "Host tables", "Mapping",
                          "Output files", "File names",       "Suppliers"};
  for (const char* topic : topics) {
    bool heading = false;
    for (const Finding& f : findings.all()) {
      if (f.topic != topic) continue;
      if (!heading) std::printf("\n%s\n", topic);
      heading = true;
      std::printf("  %s %s\n", Mark(f.severity), SystemPathsIn(f.what).c_str());
      if (!f.fix.empty()) std::printf("           what to do: %s\n", SystemPathsIn(f.fix).c_str());
    }
  }
  const int problems = findings.Count(Severity::kProblem), warnings = findings.Count(Severity::kWarning);
  std::printf("\n%s, %s: %s\n", doctor::Count(static_cast<std::size_t>(problems), "problem", "problems").c_str(),
              doctor::Count(static_cast<std::size_t>(warnings), "warning", "warnings").c_str(),
              problems > 0   ? "an export would not work as set up."
              : warnings > 0 ? "an export would work, but read the warnings."
                             : "an export would work.");
}

}  // namespace

int RunDoctor(const std::string& base) {
  OpenHost(base);
  const exporter::LibraryState& state = exporter::State();
  const config::SettingsFile settings = config::SettingsFile::InDataDirectory(state.places.data_directory);
  const doctor::Setup setup{state.places, state.options, settings,
                            Read(settings, config::reads::initialize::kExportDir)};
  std::printf("epd doctor: %s, checked as an export meets it\n", doctor::Shown(setup.places.base_directory).c_str());

  Findings findings;
  doctor::CheckSettings(setup, findings);
  doctor::CheckExportDirectory(setup, findings);
  doctor::ListedSuppliers suppliers;
  doctor::CheckSupplierTables(setup, suppliers, findings);
  std::optional<doctor::HostSample> host = doctor::CheckHostTables(setup, findings);
  {
    ScratchFolder scratch;
    const std::vector<doctor::OutputShape> shapes = doctor::CheckMapping(setup, scratch.path(), findings);
    if (host) doctor::CheckValues(*host, suppliers, shapes, findings);
    doctor::CheckExistingOutputs(setup, host ? &*host : nullptr, shapes, findings);
  }
  if (host) doctor::CheckFileNames(setup, *host, findings);
  doctor::CheckCodeReplacement(setup, suppliers, findings);

  Print(findings);
  std::fflush(stdout);
  return findings.Count(Severity::kProblem) == 0 ? kExitOk : kExitFailed;
}

}  // namespace epd::tool
