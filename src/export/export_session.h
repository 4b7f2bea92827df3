#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/settings_file.h"
#include "export/export_outcome.h"
#include "export/library_state.h"
#include "export/output_restore.h"
#include "platform/error.h"
#include "platform/files.h"
#include "sql/kept_tables.h"

// An export session: ExportEPD of one invoice is a session of one, ExportNewEPD one for its whole
// pass. What the session keeps from one invoice to the next:
//   - the settings snapshot, read again only when the settings file's stamp differs (or was too
//     fresh to prove anything), so that the export switch and the mapping are still read "at
//     every export";
//   - the outputs, open, with the stamp each had when the session last wrote to it: a file
//     whose path shows another stamp (replaced, or written by another program) is opened anew;
//   - that an output passed the check against the host's own tables.
//
// Invoices are exported in groups: each invoice's records are appended to the outputs as part of
// an append run that spans the group, so that nothing of the group is counted in the outputs'
// headers yet. Commit ends the group: the records reach the disk, then the headers that count
// them, then the outputs' headers are synced, and only then is each invoice marked delivered
// (DLVCHN=1) in cat_epd.dbf, which is synced last. So a crash or a power failure at any moment
// leaves every invoice marked delivered whole in the outputs; one between the sync and the mark
// leaves records without the mark, which the next export finds and asks about, as ever.
namespace epd::exporter {

// One invoice's answer, once its group was committed.
struct FinishedInvoice {
  std::int32_t id_msg = 0;
  ExportOutcome outcome;
};

class ExportSession {
 public:
  explicit ExportSession(LibraryState state);
  // Commits what is still pending; never raises.
  ~ExportSession();
  ExportSession(const ExportSession&) = delete;
  ExportSession& operator=(const ExportSession&) = delete;

  // Exports one invoice into the outputs; reports its own failures in message boxes. Its answer
  // is final at once when it is not to be marked (switched off, "DR", failed), else at Commit.
  // Never raises.
  void Export(std::int32_t id_msg);
  // Whether the group should be committed before the next invoice: it holds enough work, or the
  // next invoice is one of it (a second export of it must find the first in the outputs).
  bool GroupDue(std::int32_t next_id_msg) const;
  // Ends the group (above) and answers its invoices in the order they were exported. A failure
  // here (a sync, a mark) takes the affected invoices back from the outputs and reports each in
  // a message box. Never raises.
  std::vector<FinishedInvoice> Commit();

  // What a group may hold at most: kGroupWork of work, or more where the disk is slow to sync,
  // so that a group's commit costs at most a kSyncShare-th of the group's work.
  static constexpr std::chrono::milliseconds kGroupWork{50};
  static constexpr int kSyncShare = 4;
  static constexpr std::size_t kGroupInvoices = 1024;
  static constexpr std::size_t kGroupOutputs = 64;

  // --- For the export of one invoice (export_driver.cpp) ------------------------------------

  const LibraryState& state() const { return state_; }
  // export_epd.ini as it is now, read again only when its stamp says it changed.
  const config::SettingsFile& Settings();

  // The host's tables, kept open for the invoices' statements (sql/kept_tables.h).
  sql::KeptTables& HostTables() { return host_tables_; }
  // Whether the output file exists: known from its stamp while the session keeps it open.
  bool OutputExists(const std::string& path);
  // The invoice made the output file (or changed it otherwise than through the session).
  void Made(const std::string& path) { looks_.erase(path); }
  // Why the export directory, or the output file, cannot be written into (the host's own tables
  // or their folder); the directory checked once per session, a file once while its identity
  // stays.
  std::optional<std::string> WhyNotTheExportDirectory();
  std::optional<std::string> WhyNotAnOutput(const std::string& path);
  // Opens the invoice's outputs (header file first), each taking part in the group with its
  // append run begun. An output that changed underneath is opened anew, and when the group had
  // written to it the group's invoices so far fail (what they wrote may be gone). Raises
  // OutputOpenError for a file that cannot be opened.
  void OpenOutputs(const std::vector<std::string>& paths);
  class OutputOpenError : public Error {
   public:
    OutputOpenError(const std::string& message, std::string path) : Error(message), path_(std::move(path)) {}
    const std::string& path() const { return path_; }

   private:
    std::string path_;
  };
  // An output OpenOutputs opened for the invoice.
  tables::Table& Output(const std::string& path);
  // Before the invoice changes the output: where its records begin, and with `deleting` the
  // deletion flags before its replacement deletes the earlier copy.
  void BeforeChange(const std::string& path, bool deleting);
  // The invoice failed: takes its records and deletions back from every output it changed.
  // Answers what could not be undone ("" when all went well) and whether it had changed any.
  struct TakenBack {
    bool changed = false;
    bool replacing = false;
    std::string trouble;
  };
  TakenBack TakeBackInvoice();

 private:
  struct Kept;
  struct Pending;
  Kept* Find(const std::string& path);
  const std::optional<platform::FileStamp>& Look(const std::string& path);
  Kept& Validated(const std::string& path);
  void Disturbed(Kept& kept);
  std::string RollBackFrom(std::size_t first, const std::string& path_only = {});
  std::string CommitOutputs(std::vector<std::string>& failed_paths);
  std::size_t MarkDelivered();
  void SyncQuietly(const std::string& path);
  void CloseIdleOutputs();
  std::vector<TakenBack> TakeBackFrom(std::size_t first);
  void Report(std::size_t from, const std::string& failure, const std::string& file,
              const std::vector<TakenBack>& taken);

  LibraryState state_;
  sql::KeptTables host_tables_;
  std::optional<std::optional<std::string>> export_directory_refused_;
  // What the system said of each output path during the invoice being exported.
  std::map<std::string, std::optional<platform::FileStamp>> looks_;
  std::optional<config::SettingsFile> settings_;
  std::optional<platform::FileStamp> settings_stamp_;
  bool settings_settled_ = false;
  std::map<std::string, std::unique_ptr<Kept>> outputs_;
  std::vector<Pending> group_;
  std::vector<FinishedInvoice> finished_;  // answered already, waiting for the group's end
  std::optional<std::chrono::steady_clock::time_point> group_started_;
  std::chrono::steady_clock::duration last_commit_{};
  // The folder syncs of the group's new files (their names), made once each before the marks.
  std::optional<platform::DirectorySyncBatch> folder_syncs_;
  std::optional<platform::FileStamp> codes_at_start_;  // AtachList.dbf when the group began
  Pending* current_ = nullptr;                         // the invoice being exported
  std::uint64_t groups_ = 0;                           // groups committed so far
};

// The text of an invoice's failure for the user: that it was not exported, why, and what became
// of what it had written.
std::string NotExportedText(std::int32_t id_msg, const std::string& failure, const ExportSession::TakenBack& taken);

}  // namespace epd::exporter
