// ExportEPD: one invoice from the host's cat_epd.dbf and body_epd.dbf into the output files.
//
// Order of work: settings switch, the two source queries, the checks on the header, the output
// directory and file names, the check that no output is one of the host's own tables, creation
// of missing output files, the duplicate question, the records. The outputs are the session's
// (export/export_session.h): the records join the group's append run, and the session marks the
// invoice delivered (DLVCHN=1) once the group's records and headers are on the disk.
//
// Whole invoices only: before the first record is appended, or before an earlier copy of the
// invoice is deleted for a replacement, the session notes where each output's records end and
// (for a replacement) the deletion flags of its records. Any failure from then on (a delete, a
// write, a substitute code that cannot be made) takes the invoice back from the outputs, so the
// files hold only complete invoices, a replaced invoice keeps its earlier copy, and a retry
// starts clean; a failure of the group's commit (a sync, the DLVCHN update) takes back every
// invoice it concerns.
#include "export/export_driver.h"

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/field_catalogue.h"
#include "config/field_mapping.h"
#include "config/settings_schema.h"
#include "export/export_session.h"
#include "export/output_files.h"
#include "export/output_table.h"
#include "export/record_transfer.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/text.h"
#include "sql/query.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

namespace epd::exporter {
namespace {

// The fixed text of every refusal to create the output files.
constexpr std::string_view kCreationFailed = "Ошибка создания файлов экспорта накладной"_cp;

// A failure that already carries the whole text for the user, with the file involved and what
// the system or the engine said.
struct ExportFailure {
  std::string text;
  std::string file;
  std::string cause;
};

// Runs one step; a failure inside becomes "<what was being done><file>: <the system's text>".
template <class Step>
auto Guarded(std::string_view doing, std::string_view file, Step step) {
  try {
    return step();
  } catch (const ExportFailure&) {
    throw;
  } catch (const CodeSubstitutionError& e) {
    throw ExportFailure{e.what(), e.file(), {}};  // names the code table itself, whatever step met it
  } catch (const std::exception& e) {
    throw ExportFailure{std::string(doing) + std::string(file) + ": " + e.what(), std::string(file), e.what()};
  } catch (...) {
    throw ExportFailure{std::string(doing) + std::string(file), std::string(file), {}};
  }
}

// The header and line fields' mappings of a settings content. Every export reads the settings
// file; the mappings of the same bytes are resolved once.
struct FieldMappings {
  std::uint64_t content = 0;
  std::vector<config::MappedField> header;
  std::vector<config::MappedField> line;
};

// Shared, so that an export that holds them keeps them even if a call in between (from a
// message handler, say) resolves another content.
std::shared_ptr<const FieldMappings> MappingsOf(const config::SettingsFile& settings) {
  static std::shared_ptr<const FieldMappings> known;  // one thread at a time, like the whole library
  if (!known || known->content != settings.ContentId()) {
    auto fresh = std::make_shared<FieldMappings>();
    fresh->content = settings.ContentId();
    for (const config::CatalogueField& f : config::HeaderFields())
      fresh->header.push_back(config::ReadMapping(settings, f.key));
    for (const config::CatalogueField& f : config::LineFields())
      fresh->line.push_back(config::ReadMapping(settings, f.key));
    known = std::move(fresh);
  }
  return known;
}

class InvoiceExport {
 public:
  InvoiceExport(std::int32_t id_msg, ExportSession& session)
      : session_(session),
        places_(session.state().places),
        options_(session.state().options),
        settings_(session.Settings()),
        codes_(places_.data_directory),
        id_msg_(id_msg),
        n_(std::to_string(id_msg)),
        source_directory_(places_.orders_directory + "EPD"),
        header_table_(source_directory_ + "\\cat_epd.dbf"),
        line_table_(source_directory_ + "\\body_epd.dbf"),
        header_query_(source_directory_),
        line_query_(source_directory_) {
    header_query_.SetKeptTables(&session.HostTables());
    line_query_.SetKeptTables(&session.HostTables());
  }

  ExportOutcome Run();

 private:
  std::optional<ExportOutcome> OpenSources();
  std::optional<ExportOutcome> PrepareOutputs();
  std::optional<ExportOutcome> RefuseHostTables();
  std::optional<ExportOutcome> CreateMissingOutputs();
  void OpenOutputs();
  bool AskAboutDuplicate();
  void DeleteEarlierCopy(const std::string& column);
  void AppendInvoice();
  ExportOutcome Refused(std::string_view text, std::string file = {}, std::string cause = {});
  ExportOutcome Fail(const ExportFailure& failure);

  bool single() const { return options_.singlefile; }
  // The outputs' paths: in single-file mode both are the one file.
  const std::string& header_path() const { return header_path_; }
  const std::string& line_path() const { return single() ? header_path_ : line_path_; }
  tables::Table& header_output() { return session_.Output(header_path()); }
  tables::Table& line_output() { return session_.Output(line_path()); }
  std::vector<std::string> OutputPaths() const {
    if (single()) return {header_path_};
    return {header_path_, line_path_};
  }

  ExportSession& session_;
  const Places& places_;
  const Options& options_;
  const config::SettingsFile& settings_;  // one snapshot of export_epd.ini serves the whole invoice
  const suppliers::SupplierTables codes_;
  const std::int32_t id_msg_;
  const std::string n_;  // the message number as it appears in statements and file names
  const std::string source_directory_;
  const std::string header_table_;  // the host's cat_epd.dbf
  const std::string line_table_;    // the host's body_epd.dbf
  sql::Query header_query_;
  sql::Query line_query_;
  bool replace_codes_ = false;
  std::string header_path_;
  std::string line_path_;
};

ExportOutcome InvoiceExport::Run() {
  if (!Read(settings_, config::reads::export_epd::kExportSwitch)) return ExportOutcome::Of(Outcome::kSwitchedOff);
  if (std::optional<ExportOutcome> stop = OpenSources()) return *stop;
  try {
    if (std::optional<ExportOutcome> stop = PrepareOutputs()) return *stop;
    OpenOutputs();
    const bool append = AskAboutDuplicate();
    if (append) AppendInvoice();
    return ExportOutcome::Of(append ? Outcome::kExported : Outcome::kKeptEarlierCopy);
  } catch (const ExportFailure& failure) {
    return Fail(failure);
  }
}

// The box shows the text as it is; the outcome keeps the file and the cause besides.
ExportOutcome InvoiceExport::Refused(std::string_view text, std::string file, std::string cause) {
  platform::ShowError(text);
  return ExportOutcome::Failed(std::string(text), std::move(file), std::move(cause));
}

std::optional<ExportOutcome> InvoiceExport::OpenSources() {
  header_query_.SetSql("SELECT * FROM \"cat_epd.dbf\" WHERE idmsg=" + n_);
  line_query_.SetSql(" SELECT * FROM \"body_epd.dbf\"  WHERE idmsg=" + n_);
  const std::string* opening = &header_table_;
  try {
    header_query_.Open();
    opening = &line_table_;
    line_query_.Open();
  } catch (const std::exception& e) {
    return Refused("Ошибка при открытии накладных"_cp, *opening, e.what());
  }
  if (header_query_.RecordCount() == 0) return Refused("Не найден заголовок накладной"_cp, header_table_);
  if (line_query_.RecordCount() == 0) return Refused("Не найдено содержание накладной"_cp, line_table_);
  header_query_.First();
  return std::nullopt;
}

// Steps up to the existence of the output files. An outcome when the invoice is not to be
// exported: of type "DR" (silently), or refused after its own message.
std::optional<ExportOutcome> InvoiceExport::PrepareOutputs() {
  const std::string_view reading = "Ошибка чтения заголовка накладной из "_cp;
  if (Guarded(reading, header_table_, [&] { return header_query_.AsString("CatTyp"); }) == "DR")
    return ExportOutcome::Of(Outcome::kDeliveryTypeDR);
  if (places_.export_directory.empty())
    return Refused("Не задана папка экспорта накладных (EPD/Export_Dir). Укажите её в параметрах экспорта."_cp);
  // The subfolder is named by the supplier's id; anything that is not a plain name could take
  // the files outside the export directory. Checked first, since a text id that is no number
  // would otherwise fail below with a less telling message.
  std::string directory = places_.export_directory;
  if (options_.seller) {
    const std::string folder = Guarded(reading, header_table_, [&] { return header_query_.AsString("idSender"); });
    if (!IsPlainFolderName(folder))
      return Refused(kCreationFailed, header_table_,
                     "Код поставщика (idSender) \""_cp + folder + "\" не годится как имя папки"_cp);
    directory += folder + "\\";
  }
  const OutputNames names = OutputFileNames(id_msg_, options_.singlefile, options_.manyfiles, options_.charlength);
  header_path_ = directory + names.header;
  line_path_ = directory + names.line;
  if (std::optional<ExportOutcome> refused = RefuseHostTables()) return refused;

  const std::int32_t supplier = Guarded(reading, header_table_, [&] { return header_query_.AsInteger("idSender"); });
  replace_codes_ = Guarded("Ошибка проверки списка поставщиков для замены кодов"_cp, {},
                           [&] { return codes_.IsSellerListed(supplier, options_.bchangecncode); });
  if (options_.seller && !session_.OutputExists(header_path_)) {
    try {
      if (!platform::DirectoryExists(directory)) {
        platform::MakeDirectory(directory.substr(0, directory.size() - 1));
        // The folder's name on the disk before the files in it are relied on.
        platform::SyncDirectory(places_.export_directory.substr(0, places_.export_directory.size() - 1));
      }
    } catch (const std::exception&) {
      // Shows up below when a file has to be created there.
    }
  }
  return CreateMissingOutputs();
}

// Nothing is written into the host's own invoice tables, nor into their folder: an export
// directory or an output file that is one of them (by identity: links and other spellings
// included) is refused before anything is written.
std::optional<ExportOutcome> InvoiceExport::RefuseHostTables() {
  std::optional<std::string> why = session_.WhyNotTheExportDirectory();
  for (const std::string& path : OutputPaths())
    if (!why) why = session_.WhyNotAnOutput(path);
  if (!why) return std::nullopt;
  return Refused(*why, places_.orders_directory + "EPD");
}

// Creates each output file that does not exist yet; in two-file mode the line file is tried even
// when the header file could not be made. The box says only that creation failed; the outcome
// keeps the first file that failed and why.
std::optional<ExportOutcome> InvoiceExport::CreateMissingOutputs() {
  std::optional<ExportOutcome> failed;
  for (const std::string& path : OutputPaths()) {
    if (session_.OutputExists(path)) continue;
    const int kind = single() ? kCombinedOutput : path == header_path_ ? kHeaderOutput : kLineOutput;
    const OutputCreation made = MakeOutputTable(path, kind, settings_);
    session_.Made(path);
    if (!made.created && !failed) failed = ExportOutcome::Failed(std::string(kCreationFailed), path, made.cause);
  }
  if (failed) platform::ShowError(kCreationFailed);
  return failed;
}

void InvoiceExport::OpenOutputs() {
  try {
    session_.OpenOutputs(OutputPaths());
  } catch (const ExportSession::OutputOpenError& e) {
    throw ExportFailure{"Ошибка открытия файла экспорта "_cp + e.path() + ": " + e.what(), e.path(), e.what()};
  }
}

// The duplicate check. True when the invoice's records are to be appended.
bool InvoiceExport::AskAboutDuplicate() {
  const config::MappedField idmsg = config::ReadMapping(settings_, "IDMSG");
  if (!idmsg.exported()) return true;
  auto require_column = [&](const std::string& path) {
    if (session_.Output(path).FieldIndex(idmsg.column) < 0)
      throw ExportFailure{"В файле экспорта "_cp + path + " нет столбца "_cp + idmsg.column +
                              ", указанного для номера накладной (IDMSG)"_cp,
                          path,
                          {}};
  };
  require_column(header_path());
  const bool found = Guarded("Ошибка поиска накладной в файле экспорта "_cp, header_path(),
                             [&] { return header_output().Locate(idmsg.column, {tables::Value(id_msg_)}); });
  if (!found) return true;
  if (!platform::AskConfirmation("Накладная уже экспортирована. Заменить?"_cp)) return false;
  // Nothing is deleted from either file unless both can be cleared of the earlier copy, and a
  // failure from here on brings the earlier copy back.
  require_column(line_path());
  DeleteEarlierCopy(idmsg.column);
  return true;
}

void InvoiceExport::DeleteEarlierCopy(const std::string& column) {
  // The column name and the paths stand in the delete statements as they are: one that is more
  // than a plain name could make the statement delete other invoices.
  if (!IsPlainColumnName(column))
    throw ExportFailure{"Имя столбца номера накладной (IDMSG) \""_cp + column +
                            "\" в настройках не годится для удаления прежней копии: допустимы только буквы, цифры и "
                            "знак подчёркивания"_cp,
                        {},
                        {}};
  for (const std::string& path : OutputPaths())
    if (path.find('"') != std::string::npos)
      throw ExportFailure{"Путь файла экспорта "_cp + path + " содержит кавычку"_cp, path, {}};
  for (const std::string& path : OutputPaths())
    Guarded("Ошибка чтения файла экспорта "_cp, path, [&] { session_.BeforeChange(path, true); });
  // The lines go first and the header record last, as the header goes in first when appending:
  // whatever a crash interrupts, an earlier copy with lines left always has its header, by which
  // the next export finds it and replaces it whole.
  for (const std::string* path : {&line_path(), &header_path()}) {
    Guarded("Ошибка удаления прежних записей накладной из файла "_cp, *path, [&] {
      sql::Query remove;
      remove.SetSql(" DELETE FROM \"" + *path + "\" WHERE " + column + "=" + n_);
      remove.ExecSql();
    });
  }
}

void InvoiceExport::AppendInvoice() {
  const std::shared_ptr<const FieldMappings> mappings = MappingsOf(settings_);
  const std::vector<config::MappedField>& header_fields = mappings->header;
  const std::vector<config::MappedField>& line_fields = mappings->line;
  const TransferContext context{header_query_, codes_, replace_codes_, options_.bDOScoding};

  for (const std::string& path : OutputPaths())
    Guarded("Ошибка чтения файла экспорта "_cp, path, [&] { session_.BeforeChange(path, false); });
  // The records join the group's append run: counted in the headers when the group ends.
  if (!single()) {
    tables::Table& out = header_output();
    Guarded("Ошибка записи в файл экспорта "_cp, header_path(), [&] {
      const std::vector<BoundField> fields = BindFields(header_fields, header_query_, out);
      out.Append();
      for (const BoundField& field : fields) TransferField(field, out, header_query_, context);
      out.Post();
    });
  }
  tables::Table& out = line_output();
  Guarded("Ошибка записи в файл экспорта "_cp, line_path(), [&] {
    // Columns are found once for all the lines.
    const std::vector<BoundField> line_columns = BindFields(line_fields, line_query_, out);
    std::vector<BoundField> header_columns;
    if (single()) header_columns = BindFields(header_fields, header_query_, out);
    for (line_query_.First(); !line_query_.Eof(); line_query_.Next()) {
      out.Append();
      for (const BoundField& field : line_columns) TransferField(field, out, line_query_, context);
      // In the single file the header's values come last and win where the keys coincide.
      for (const BoundField& field : header_columns) TransferField(field, out, header_query_, context);
      out.Post();
    }
  });
}

ExportOutcome InvoiceExport::Fail(const ExportFailure& failure) {
  std::string message = NotExportedText(id_msg_, failure.text, session_.TakeBackInvoice());
  platform::ShowError(message);
  return ExportOutcome::Failed(std::move(message), failure.file, failure.cause);
}

// A failure no step expected: told with the invoice's number, never raised further.
ExportOutcome Unexpected(std::int32_t id_msg, const char* what) {
  try {
    std::string message = "Накладная "_cp + std::to_string(id_msg);
    message += what != nullptr ? " не экспортирована: "_cp + what : std::string(" не экспортирована."_cp);
    try {
      platform::ShowError(message);
    } catch (...) {
    }
    return ExportOutcome::Failed(std::move(message), {}, what != nullptr ? what : "");
  } catch (...) {
    return {};  // failed, with no text left to give
  }
}

}  // namespace

ExportOutcome ExportOneInvoice(std::int32_t id_msg, ExportSession& session) {
  try {
    InvoiceExport invoice(id_msg, session);
    return invoice.Run();
  } catch (const std::exception& e) {
    return Unexpected(id_msg, e.what());
  } catch (...) {
    return Unexpected(id_msg, nullptr);
  }
}

ExportOutcome ExportInvoice(std::int32_t id_msg) {
  try {
    // A copy: a message handler may call InitializeEPD while the export runs.
    ExportSession session(State());
    session.Export(id_msg);
    std::vector<FinishedInvoice> done = session.Commit();
    if (done.empty()) return Unexpected(id_msg, nullptr);
    return std::move(done.front().outcome);
  } catch (const std::exception& e) {
    return Unexpected(id_msg, e.what());
  } catch (...) {
    return Unexpected(id_msg, nullptr);
  }
}

}  // namespace epd::exporter
