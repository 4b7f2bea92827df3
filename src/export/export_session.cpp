#include "export/export_session.h"

#include <algorithm>
#include <exception>
#include <set>

#include "config/host_folders.h"
#include "export/export_driver.h"
#include "platform/error.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "sql/query.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

namespace epd::exporter {
namespace {

using Clock = std::chrono::steady_clock;

// The deletion flags a group may note before it is committed: a replacement notes those of its
// whole output, and a group of replacements in a large output would otherwise hold them all.
constexpr std::size_t kGroupFlagBytes = 8u << 20;
// Outputs left open between groups: the few a pass goes back to (the two-file and single-file
// modes' files, a supplier's folder); per-invoice files are closed once their group is done.
constexpr std::size_t kIdleOutputsKept = 8;

bool ToMark(const ExportOutcome& outcome) {
  return outcome.what == Outcome::kExported || outcome.what == Outcome::kKeptEarlierCopy;
}

std::string Joined(std::string a, const std::string& b) {
  if (b.empty()) return a;
  if (!a.empty()) a += "; ";
  return a + b;
}

}  // namespace

// An output the session keeps: the file open, as the session last left it, and while a group has
// changed it, how it was before the group (out.tail_before, out.flags_before, out.appending).
struct ExportSession::Kept {
  OutputTable out;
  platform::FileStamp stamp;     // after the session's last own change (valid while out.table)
  std::uint64_t checked = 0;     // the identity the host-table check passed for; 0: none
  std::uint64_t last_group = 0;  // the last group that used it
};

// An invoice of the group: its answer so far, and where it changed each output.
struct ExportSession::Pending {
  std::int32_t id_msg = 0;
  ExportOutcome outcome;
  bool to_mark = false;
  struct Change {
    std::string path;
    std::uint32_t appended_from = 0;          // the output's records before this invoice's
    std::optional<std::string> flags_before;  // before its replacement deleted the earlier copy
  };
  std::vector<Change> changes;
};

std::string NotExportedText(std::int32_t id_msg, const std::string& failure, const ExportSession::TakenBack& taken) {
  std::string message = "Накладная "_cp + std::to_string(id_msg) + " не экспортирована. "_cp + failure;
  if (message.back() != '.') message += '.';
  if (!taken.changed) return message;
  if (taken.trouble.empty() && taken.replacing)
    return message + " Файлы экспорта возвращены в прежнее состояние, прежняя копия накладной сохранена."_cp;
  if (taken.trouble.empty()) return message + " Записи этой накладной, уже добавленные в файлы экспорта, удалены."_cp;
  if (taken.replacing) return message + " Не удалось вернуть файлы экспорта в прежнее состояние: "_cp + taken.trouble;
  return message + " Не удалось удалить уже добавленные записи этой накладной: "_cp + taken.trouble;
}

ExportSession::ExportSession(LibraryState state) : state_(std::move(state)) {}

ExportSession::~ExportSession() {
  try {
    if (!group_.empty()) Commit();
    for (auto& [path, kept] : outputs_) {
      if (!kept->out.table) continue;
      try {
        kept->out.table->Close();
      } catch (const std::exception&) {
        // Nothing of a group is left to count: Commit ended every run.
      }
    }
  } catch (...) {
  }
}

const config::SettingsFile& ExportSession::Settings() {
  const std::string path = config::SettingsFile::PathInDataDirectory(state_.places.data_directory);
  const std::optional<platform::FileStamp> now = platform::IsBareName(path) ? std::nullopt : platform::StatFile(path);
  if (!settings_ || now != settings_stamp_ || !settings_settled_) {
    settings_.emplace(path);  // the stamp before the read: a change during it shows next time
    settings_stamp_ = now;
    settings_settled_ = !now || platform::StampSettled(*now);
  }
  return *settings_;
}

ExportSession::Kept* ExportSession::Find(const std::string& path) {
  const auto found = outputs_.find(path);
  return found == outputs_.end() ? nullptr : found->second.get();
}

// One look at the system per output and invoice serves the checks before the file is used.
const std::optional<platform::FileStamp>& ExportSession::Look(const std::string& path) {
  const auto found = looks_.find(path);
  if (found != looks_.end()) return found->second;
  return looks_[path] = platform::StatFile(path);
}

bool ExportSession::OutputExists(const std::string& path) {
  const Kept* kept = Find(path);
  if (kept != nullptr && kept->out.table && Look(path) == kept->stamp) return true;  // the file it has open
  return platform::FileExists(path);
}

std::optional<std::string> ExportSession::WhyNotTheExportDirectory() {
  if (!export_directory_refused_)
    export_directory_refused_ =
        config::WhyNotAnExportDirectory(state_.places.export_directory, state_.places.base_directory);
  return *export_directory_refused_;
}

std::optional<std::string> ExportSession::WhyNotAnOutput(const std::string& path) {
  std::unique_ptr<Kept>& kept = outputs_[path];
  if (!kept) kept = std::make_unique<Kept>();
  const std::optional<platform::FileStamp> now = Look(path);
  if (now && kept->checked == now->identity) return std::nullopt;
  std::optional<std::string> why = config::WhyNotAnOutputFile(path, state_.places.base_directory);
  kept->checked = !why && now ? now->identity : 0;
  return why;
}

// The output open as the session left it; a file that changed underneath is opened anew (the
// group's invoices that wrote to it are taken back: what they wrote may be gone).
ExportSession::Kept& ExportSession::Validated(const std::string& path) {
  std::unique_ptr<Kept>& slot = outputs_[path];
  if (!slot) slot = std::make_unique<Kept>();
  Kept& kept = *slot;
  if (kept.out.table) {
    const std::optional<platform::FileStamp> now = Look(path);
    if (!now || *now != kept.stamp) Disturbed(kept);
  }
  if (!kept.out.table) {
    kept.out.path = path;
    kept.out.table = tables::Table::Open(path);
    kept.stamp = kept.out.table->Stamp();
  }
  return kept;
}

// Another program replaced or wrote to an output the session keeps. Outside a group the file is
// merely opened again; inside one, the group's records there may be lost or overwritten, so the
// invoices of the group so far are taken back from the other outputs and fail.
void ExportSession::Disturbed(Kept& kept) {
  kept.out.table.reset();  // released without Close: its run, if any, stays uncounted
  if (!kept.out.appending) return;
  kept.out.appending = false;
  kept.out.flags_before.clear();
  const std::size_t before = current_ != nullptr ? group_.size() - 1 : group_.size();
  bool any = false;
  for (std::size_t i = 0; i < before; ++i) any = any || !group_[i].changes.empty();
  if (!any) return;
  for (std::size_t i = 0; i < before; ++i)
    std::erase_if(group_[i].changes, [&](const Pending::Change& c) { return c.path == kept.out.path; });
  const std::vector<TakenBack> taken = TakeBackFrom(0);
  Report(0, "Файл экспорта "_cp + kept.out.path + " изменён другой программой во время экспорта"_cp, kept.out.path,
         taken);
}

void ExportSession::OpenOutputs(const std::vector<std::string>& paths) {
  // All are looked at before any is handed out: taking the group back for one of them closes the
  // others, which are then opened again below.
  for (const std::string& path : paths) {
    try {
      Validated(path);
    } catch (const std::exception& e) {
      throw OutputOpenError(e.what(), path);
    }
  }
  for (const std::string& path : paths) {
    try {
      Kept* found = Find(path);
      Kept& kept = found != nullptr && found->out.table ? *found : Validated(path);
      kept.last_group = groups_;
      if (kept.out.appending) continue;
      // How the file was before the group, to put it back should the group fail as a whole.
      kept.out.tail_before = kept.out.table->Tail();
      kept.out.flags_before.clear();
      kept.out.table->BeginAppendRun();
      kept.out.appending = true;
    } catch (const std::exception& e) {
      throw OutputOpenError(e.what(), path);
    }
  }
}

tables::Table& ExportSession::Output(const std::string& path) { return *Find(path)->out.table; }

void ExportSession::BeforeChange(const std::string& path, bool deleting) {
  if (current_ == nullptr) return;
  Kept* kept = Find(path);
  if (kept == nullptr || !kept->out.table) return;
  Pending::Change* change = nullptr;
  for (Pending::Change& c : current_->changes)
    if (c.path == path) change = &c;
  if (change == nullptr) {
    current_->changes.push_back({path, kept->out.table->AppendedCount(), std::nullopt});
    change = &current_->changes.back();
  }
  if (deleting && !change->flags_before) {
    change->flags_before = kept->out.table->DeletionFlags();
    if (kept->out.flags_before.empty()) kept->out.flags_before = *change->flags_before;
  }
}

ExportSession::TakenBack ExportSession::TakeBackInvoice() {
  if (current_ == nullptr) return {};
  return TakeBackFrom(group_.size() - 1).back();
}

// The invoices [first, end) taken back (RollBackFrom), each with what it had changed; the trouble
// of the whole is each one's.
std::vector<ExportSession::TakenBack> ExportSession::TakeBackFrom(std::size_t first) {
  std::vector<TakenBack> taken;
  for (std::size_t i = first; i < group_.size(); ++i) {
    TakenBack t;
    t.changed = !group_[i].changes.empty();
    for (const Pending::Change& c : group_[i].changes) t.replacing = t.replacing || c.flags_before.has_value();
    taken.push_back(t);
  }
  const std::string trouble = RollBackFrom(first);
  for (TakenBack& t : taken)
    if (t.changed) t.trouble = trouble;
  return taken;
}

// Takes the invoices [first, end) of the group back from every output they changed: an output
// no earlier invoice of the group changed goes back byte for byte to how the group found it; the
// others are cut back to where the first of these invoices began, with the deletion flags as
// they were before the first of their deletions. Answers what could not be undone.
std::string ExportSession::RollBackFrom(std::size_t first, const std::string& path_only) {
  std::vector<std::string> paths;
  for (std::size_t i = first; i < group_.size(); ++i)
    for (const Pending::Change& c : group_[i].changes)
      if ((path_only.empty() || c.path == path_only) && std::find(paths.begin(), paths.end(), c.path) == paths.end())
        paths.push_back(c.path);
  std::string trouble;
  for (const std::string& path : paths) {
    Kept* kept = Find(path);
    if (kept == nullptr) continue;
    bool earlier = false;
    for (std::size_t i = 0; i < first; ++i)
      for (const Pending::Change& c : group_[i].changes) earlier = earlier || c.path == path;
    const Pending::Change* from = nullptr;
    const std::string* flags = nullptr;
    for (std::size_t i = first; i < group_.size(); ++i)
      for (const Pending::Change& c : group_[i].changes) {
        if (c.path != path) continue;
        if (from == nullptr) from = &c;
        if (flags == nullptr && c.flags_before) flags = &*c.flags_before;
      }
    if (!earlier) {
      if (kept->out.appending && kept->out.table) {
        try {
          kept->out.table->TakeBack(kept->out.tail_before.records);  // the run is not counted then
        } catch (const std::exception&) {
          // PutBack cuts the file back itself.
        }
      }
      if (kept->out.appending) trouble = Joined(trouble, PutBack(kept->out));
      kept->out.appending = false;
      kept->out.flags_before.clear();
    } else {
      try {
        kept->out.table->TakeBack(from->appended_from);
        if (flags != nullptr) kept->out.table->RestoreDeletionFlags(*flags);
        kept->stamp = kept->out.table->Stamp();
      } catch (const std::exception& e) {
        trouble = Joined(trouble, e.what());
      }
    }
    for (std::size_t i = first; i < group_.size(); ++i)
      std::erase_if(group_[i].changes, [&](const Pending::Change& c) { return c.path == path; });
  }
  return trouble;
}

// Each of the invoices [from, end) that was to be marked fails with `failure`: its message box,
// and the answer the group gives for it. `taken` is what TakeBackFrom(from) answered.
void ExportSession::Report(std::size_t from, const std::string& failure, const std::string& file,
                           const std::vector<TakenBack>& taken) {
  for (std::size_t i = from; i < group_.size(); ++i) {
    Pending& p = group_[i];
    if (!p.to_mark || (current_ != nullptr && &p == current_)) continue;
    std::string message = NotExportedText(p.id_msg, failure, i - from < taken.size() ? taken[i - from] : TakenBack{});
    platform::ShowError(message);
    p.outcome = ExportOutcome::Failed(std::move(message), file, failure);
    p.to_mark = false;
  }
}

void ExportSession::Export(std::int32_t id_msg) {
  try {
    if (!group_started_) {
      group_started_ = Clock::now();
      folder_syncs_.emplace();
      codes_at_start_ = platform::StatFile(state_.places.data_directory + suppliers::kCodeTableFile);
    }
    group_.push_back(Pending{id_msg, {}, false, {}});
    current_ = &group_.back();
    looks_.clear();
    ExportOutcome outcome = ExportOneInvoice(id_msg, *this);
    current_->to_mark = ToMark(outcome);
    current_->outcome = std::move(outcome);
    // The session's own writes are no change underneath.
    for (const Pending::Change& c : current_->changes)
      if (Kept* kept = Find(c.path); kept != nullptr && kept->out.table) kept->stamp = kept->out.table->Stamp();
  } catch (const std::exception& e) {
    if (current_ != nullptr) current_->outcome = ExportOutcome::Failed(e.what());
  } catch (...) {
  }
  current_ = nullptr;
}

bool ExportSession::GroupDue(std::int32_t next_id_msg) const {
  if (group_.empty()) return false;
  const Clock::duration work = std::max<Clock::duration>(kGroupWork, kSyncShare * last_commit_);
  if (Clock::now() - *group_started_ >= work || group_.size() >= kGroupInvoices) return true;
  std::size_t open = 0, flag_bytes = 0;
  for (const auto& [path, kept] : outputs_) {
    open += kept->out.appending;
    flag_bytes += kept->out.flags_before.size();
  }
  if (open >= kGroupOutputs || flag_bytes >= kGroupFlagBytes) return true;
  for (const Pending& p : group_)
    if (p.to_mark && p.id_msg == next_id_msg) return true;
  return false;
}

// Ends the append run of every output of the group and syncs it: the records reach the disk,
// then the header that counts them, which is synced too. The header files first, as the group
// first opened them: a crash between two outputs leaves an invoice's header record, by which the
// next export finds its copy and replaces it whole. Answers the failure, "" when there was none.
std::string ExportSession::CommitOutputs(std::vector<std::string>& failed_paths) {
  std::vector<std::string> order;
  for (const Pending& p : group_)
    for (const Pending::Change& c : p.changes)
      if (std::find(order.begin(), order.end(), c.path) == order.end()) order.push_back(c.path);
  for (const std::string& path : order) {
    Kept* kept = Find(path);
    if (kept == nullptr || !kept->out.table || !kept->out.appending) continue;
    const std::optional<platform::FileStamp> now = platform::StatFile(path);
    if (!now || *now != kept->stamp) {
      failed_paths.push_back(path);
      return "Файл экспорта "_cp + path + " изменён другой программой во время экспорта"_cp;
    }
    try {
      kept->out.table->EndAppendRun();
      kept->out.table->Sync();
      kept->stamp = kept->out.table->Stamp();
    } catch (const std::exception& e) {
      failed_paths.push_back(path);
      return e.what();
    }
  }
  return {};
}

// Marks the group's invoices delivered, in order; answers how many were marked (all unless one
// failed, which with the ones after it is then taken back).
std::size_t ExportSession::MarkDelivered() {
  const std::string directory = state_.places.orders_directory + "EPD";
  std::size_t marked = 0;
  for (std::size_t i = 0; i < group_.size(); ++i) {
    Pending& p = group_[i];
    if (!p.to_mark) continue;
    try {
      sql::Query update(directory);
      update.SetKeptTables(&host_tables_);
      update.SetSql(" UPDATE \"cat_epd.dbf\"  SET DLVCHN=1  WHERE idMsg=" + std::to_string(p.id_msg));
      update.ExecSql();
      ++marked;
    } catch (const std::exception& e) {
      const std::string file = directory + "\\cat_epd.dbf";
      const std::vector<TakenBack> taken = TakeBackFrom(i);
      Report(i, "Ошибка отметки накладной как доставленной (DLVCHN) в "_cp + file + ": " + e.what(), file, taken);
      break;
    }
  }
  return marked;
}

// A sync whose failure costs no invoice: what it would have made durable is re-done or asked
// about by the next export.
void ExportSession::SyncQuietly(const std::string& path) {
  try {
    platform::OpenFile(path, platform::FileMode::kReadWrite)->Sync();
  } catch (const std::exception&) {
  }
}

std::vector<FinishedInvoice> ExportSession::Commit() {
  std::vector<FinishedInvoice> answers;
  const Clock::time_point started = Clock::now();
  try {
    std::vector<std::string> failed_paths;
    std::string failure = CommitOutputs(failed_paths);
    if (failure.empty() && folder_syncs_) {
      // The names of the files the group made, before anything relies on them.
      try {
        folder_syncs_->Flush();
      } catch (const std::exception& e) {
        failure = e.what();
      }
    }
    if (!failure.empty()) {
      // The group fails as a whole: its records may not all be on the disk.
      const std::string file = failed_paths.empty() ? std::string() : failed_paths.front();
      const std::vector<TakenBack> taken = TakeBackFrom(0);
      Report(0, failure, file, taken);
    } else {
      // New substitute codes are what the output's codes stand for.
      const std::string codes = state_.places.data_directory + suppliers::kCodeTableFile;
      if (platform::StatFile(codes) != codes_at_start_) SyncQuietly(codes);
      if (MarkDelivered() > 0) SyncQuietly(state_.places.orders_directory + "EPD\\cat_epd.dbf");
    }
  } catch (const std::exception& e) {
    Report(0, e.what(), {}, TakeBackFrom(0));
  } catch (...) {
  }
  for (auto& [path, kept] : outputs_) {
    kept->out.appending = false;
    kept->out.flags_before.clear();
    std::string().swap(kept->out.flags_before);
  }
  for (Pending& p : group_) answers.push_back({p.id_msg, std::move(p.outcome)});
  group_.clear();
  group_started_.reset();
  folder_syncs_.reset();
  last_commit_ = Clock::now() - started;
  CloseIdleOutputs();
  return answers;
}

// Per-invoice files are done with once their group is: the outputs the group just committed did
// not use are closed when more are open than a pass goes back to.
void ExportSession::CloseIdleOutputs() {
  ++groups_;
  if (outputs_.size() <= kIdleOutputsKept) return;
  for (auto it = outputs_.begin(); it != outputs_.end();) {
    Kept& kept = *it->second;
    if (kept.last_group + 1 >= groups_) {
      ++it;
      continue;
    }
    try {
      if (kept.out.table) kept.out.table->Close();
    } catch (const std::exception&) {
    }
    it = outputs_.erase(it);
  }
}

}  // namespace epd::exporter
