// ExportEPD: one invoice from the host's cat_epd.dbf and body_epd.dbf into the output files.
//
// Order of work: settings switch, the two source queries, the checks on the header, the output
// directory and file names, creation of missing output files, the duplicate question, the
// records, closing the outputs, and last the mark DLVCHN=1 in cat_epd.dbf.
//
// Whole invoices only: before the first record is appended, or before an earlier copy of the
// invoice is deleted for a replacement, the driver notes each output's physical record count,
// its header and tail bytes and (for a replacement) the deletion flags of its records. Any
// failure from then on (a delete, a write, a post, a substitute code that cannot be made,
// closing the file, the DLVCHN update) puts the outputs back to that state, so the files hold
// only complete invoices, a replaced invoice keeps its earlier copy, and a retry starts clean.
// The records are appended as one run of the engine: written together and counted in the
// header only when the output is closed, so that a crash half way leaves the header counting the
// earlier invoices only. DLVCHN is set only after all records are written and the outputs
// closed (written, not synced to disk: a power failure right after the mark may still lose the
// invoice's records).
#include "export/export_driver.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "config/field_catalogue.h"
#include "config/settings_file.h"
#include "dbf/output_table.h"
#include "export/library_state.h"
#include "export/output_files.h"
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

// A failure that already carries the whole text for the user.
struct ExportFailure {
  std::string text;
};

// Runs one step; a failure inside becomes "<what was being done>: <the system's text>".
template <class Step>
auto Guarded(const std::string& doing, Step step) {
  try {
    return step();
  } catch (const ExportFailure&) {
    throw;
  } catch (const CodeSubstitutionError& e) {
    throw ExportFailure{e.what()};  // names the code table itself, whatever step met it
  } catch (const std::exception& e) {
    throw ExportFailure{doing + ": " + e.what()};
  } catch (...) {
    throw ExportFailure{doing};
  }
}

// How an output file looked before this call appended to it: its record count for the
// engine's TruncateRecords, and its header and tail bytes, so that the file can be checked and
// put back byte for byte (a failure between the records and their header write leaves records
// past the count, which the count alone does not take back).
using FileTail = tables::Table::FileTail;

// data directory + "export_epd.ini" (appended, not joined with "+": GCC 12 warns falsely about
// the latter in 32-bit builds).
config::SettingsFile SettingsIn(const std::string& data_directory) {
  std::string path = data_directory;
  path.append(config::kSettingsFileName);
  return config::SettingsFile(path);
}

// The header and line fields' mappings of a settings content. Every export reads the settings
// file; the mappings of the same bytes are resolved once.
struct FieldMappings {
  std::uint64_t content = 0;
  std::vector<FieldMapping> header;
  std::vector<FieldMapping> line;
};

// Shared, so that an export that holds them keeps them even if a call in between (from a
// message handler, say) resolves another content.
std::shared_ptr<const FieldMappings> MappingsOf(const config::SettingsFile& settings) {
  static std::shared_ptr<const FieldMappings> known;  // one thread at a time, like the whole library
  if (!known || known->content != settings.ContentId()) {
    auto fresh = std::make_shared<FieldMappings>();
    fresh->content = settings.ContentId();
    for (const config::CatalogueField& f : config::HeaderFields())
      fresh->header.push_back(ResolveMapping(settings, f.key));
    for (const config::CatalogueField& f : config::LineFields()) fresh->line.push_back(ResolveMapping(settings, f.key));
    known = std::move(fresh);
  }
  return known;
}

struct OutputTable {
  std::string path;
  std::unique_ptr<tables::Table> table;
  FileTail tail_before;
  std::string flags_before;  // deletion flags, noted before a replacement deletes
  bool appending = false;    // this call may have changed the file
};

FileTail ReadTail(const std::string& path) {
  auto file = platform::OpenFile(path, platform::FileMode::kRead);
  FileTail tail;
  tail.size = file->Size();
  tail.header.resize(32);
  tail.header.resize(file->ReadAt(0, tail.header.data(), tail.header.size()));
  if (tail.size > 0) file->ReadAt(tail.size - 1, &tail.last, 1);
  return tail;
}

void RestoreTail(const std::string& path, const FileTail& before) {
  const FileTail now = ReadTail(path);
  if (now.size == before.size && now.header == before.header && now.last == before.last) return;
  auto file = platform::OpenFile(path, platform::FileMode::kReadWrite);
  if (now.size != before.size) file->Truncate(before.size);
  file->WriteAt(0, before.header.data(), before.header.size());
  if (before.size > 0) file->WriteAt(before.size - 1, &before.last, 1);
}

class InvoiceExport {
 public:
  InvoiceExport(std::int32_t id_msg, const LibraryState& state)
      : state_(state),
        settings_(SettingsIn(state.data_directory)),
        id_msg_(id_msg),
        n_(std::to_string(id_msg)),
        source_directory_(state.orders_directory + "EPD"),
        header_query_(source_directory_),
        line_query_(source_directory_) {}

  bool Run();

 private:
  bool OpenSources();
  bool PrepareOutputs();
  bool CreateOutput(const std::string& path, int kind);
  void OpenOutputs();
  bool AskAboutDuplicate();
  void NoteStateBefore(OutputTable& output, bool with_flags);
  void AppendInvoice();
  void CloseOutputs();
  void MarkDelivered();
  std::string RollBack();
  bool Fail(const std::string& text);

  bool single() const { return state_.singlefile; }
  OutputTable& header_output() { return header_output_; }
  OutputTable& line_output() { return single() ? header_output_ : line_output_; }

  const LibraryState& state_;
  const config::SettingsFile settings_;  // one snapshot of export_epd.ini serves the whole call
  const std::int32_t id_msg_;
  const std::string n_;  // the message number as it appears in statements and file names
  const std::string source_directory_;
  sql::Query header_query_;
  sql::Query line_query_;
  bool replace_codes_ = false;
  OutputTable header_output_;
  OutputTable line_output_;
};

bool InvoiceExport::Run() {
  if (!settings_.ReadBool("EPD", "bExportEPD", false)) return true;
  if (!OpenSources()) return false;
  try {
    if (!PrepareOutputs()) return false;
    OpenOutputs();
    if (AskAboutDuplicate()) AppendInvoice();
    CloseOutputs();
    MarkDelivered();
    return true;
  } catch (const ExportFailure& failure) {
    return Fail(failure.text);
  }
}

bool InvoiceExport::OpenSources() {
  header_query_.SetSql("SELECT * FROM \"cat_epd.dbf\" WHERE idmsg=" + n_);
  line_query_.SetSql(" SELECT * FROM \"body_epd.dbf\"  WHERE idmsg=" + n_);
  try {
    header_query_.Open();
    line_query_.Open();
  } catch (const std::exception&) {
    platform::ShowError("Ошибка при открытии накладных"_cp);
    return false;
  }
  if (header_query_.RecordCount() == 0) {
    platform::ShowError("Не найден заголовок накладной"_cp);
    return false;
  }
  if (line_query_.RecordCount() == 0) {
    platform::ShowError("Не найдено содержание накладной"_cp);
    return false;
  }
  header_query_.First();
  return true;
}

// Steps up to the existence of the output files. False (after its own message, or silently
// for an invoice of type "DR") when the invoice is not to be exported.
bool InvoiceExport::PrepareOutputs() {
  const std::string header_table = source_directory_ + "\\cat_epd.dbf";
  if (Guarded("Ошибка чтения заголовка накладной из "_cp + header_table,
              [&] { return header_query_.AsString("CatTyp"); }) == "DR")
    return false;
  if (state_.export_directory.empty()) {
    platform::ShowError("Не задана папка экспорта накладных (EPD/Export_Dir). Укажите её в параметрах экспорта."_cp);
    return false;
  }
  // The subfolder is named by the supplier's id; anything that is not a plain name could take
  // the files outside the export directory. Checked first, since a text id that is no number
  // would otherwise fail below with a less telling message.
  std::string directory = state_.export_directory;
  if (state_.seller) {
    const std::string folder = Guarded("Ошибка чтения заголовка накладной из "_cp + header_table,
                                       [&] { return header_query_.AsString("idSender"); });
    if (!IsPlainFolderName(folder)) {
      platform::ShowError("Ошибка создания файлов экспорта накладной"_cp);
      return false;
    }
    directory += folder + "\\";
  }
  const std::int32_t supplier = Guarded("Ошибка чтения заголовка накладной из "_cp + header_table,
                                        [&] { return header_query_.AsInteger("idSender"); });
  replace_codes_ = Guarded("Ошибка проверки списка поставщиков для замены кодов"_cp,
                           [&] { return suppliers::IsSellerListed(supplier, state_.bchangecncode); });
  if (state_.seller) {
    try {
      if (!platform::DirectoryExists(directory)) platform::MakeDirectory(directory.substr(0, directory.size() - 1));
    } catch (const std::exception&) {
      // Shows up below when a file has to be created there.
    }
  }

  const OutputNames names = OutputFileNames(id_msg_, state_.singlefile, state_.manyfiles, state_.charlength);
  header_output_.path = directory + names.header;
  line_output_.path = directory + names.line;
  bool created = true;
  if (single()) {
    created = platform::FileExists(header_output_.path) || CreateOutput(header_output_.path, dbf::kCombinedOutput);
  } else {
    if (!platform::FileExists(header_output_.path) && !CreateOutput(header_output_.path, dbf::kHeaderOutput))
      created = false;
    if (!platform::FileExists(line_output_.path) && !CreateOutput(line_output_.path, dbf::kLineOutput)) created = false;
  }
  if (!created) {
    platform::ShowError("Ошибка создания файлов экспорта накладной"_cp);
    return false;
  }
  return true;
}

bool InvoiceExport::CreateOutput(const std::string& path, int kind) {
  try {
    return dbf::CreateOutputTable(path, kind, settings_);
  } catch (const std::exception&) {
    return false;
  }
}

void InvoiceExport::OpenOutputs() {
  for (OutputTable* output : {&header_output_, &line_output_}) {
    if (output == &line_output_ && single()) break;
    output->table =
        Guarded("Ошибка открытия файла экспорта "_cp + output->path, [&] { return tables::Table::Open(output->path); });
  }
}

// The duplicate check. True when the invoice's records are to be appended.
bool InvoiceExport::AskAboutDuplicate() {
  const FieldMapping idmsg = ResolveMapping(settings_, "IDMSG");
  if (idmsg.column.empty()) return true;
  auto require_column = [&](const OutputTable& output) {
    if (output.table->FieldIndex(idmsg.column) < 0)
      throw ExportFailure{"В файле экспорта "_cp + output.path + " нет столбца "_cp + idmsg.column +
                          ", указанного для номера накладной (IDMSG)"_cp};
  };
  require_column(header_output());
  const bool found = Guarded("Ошибка поиска накладной в файле экспорта "_cp + header_output().path,
                             [&] { return header_output().table->Locate(idmsg.column, {tables::Value(id_msg_)}); });
  if (!found) return true;
  if (!platform::AskConfirmation("Накладная уже экспортирована. Заменить?"_cp)) return false;
  // Nothing is deleted from either file unless both can be cleared of the earlier copy, and a
  // failure from here on brings the earlier copy back.
  require_column(line_output());
  // The column name and the paths stand in the delete statements as they are: one that is more
  // than a plain name could make the statement delete other invoices.
  if (!IsPlainColumnName(idmsg.column))
    throw ExportFailure{"Имя столбца номера накладной (IDMSG) \""_cp + idmsg.column +
                        "\" в настройках не годится для удаления прежней копии: допустимы только буквы, цифры и "
                        "знак подчёркивания"_cp};
  for (const OutputTable* output : {&header_output(), &line_output()})
    if (output->path.find('"') != std::string::npos)
      throw ExportFailure{"Путь файла экспорта "_cp + output->path + " содержит кавычку"_cp};
  NoteStateBefore(header_output(), true);
  NoteStateBefore(line_output(), true);
  // The lines go first and the header record last, as the header goes in first when appending:
  // whatever a crash interrupts, an earlier copy with lines left always has its header, by which
  // the next export finds it and replaces it whole.
  for (OutputTable* output : {&line_output(), &header_output()}) {
    Guarded("Ошибка удаления прежних записей накладной из файла "_cp + output->path, [&] {
      sql::Query remove;
      remove.SetSql(" DELETE FROM \"" + output->path + "\" WHERE " + idmsg.column + "=" + n_);
      remove.ExecSql();
    });
  }
  return true;
}

// Notes what RollBack puts back; once per output (single-file mode: one table).
void InvoiceExport::NoteStateBefore(OutputTable& output, bool with_flags) {
  if (output.appending) return;
  Guarded("Ошибка чтения файла экспорта "_cp + output.path, [&] {
    output.tail_before = output.table->Tail();
    if (with_flags) output.flags_before = output.table->DeletionFlags();
  });
  output.appending = true;
}

void InvoiceExport::AppendInvoice() {
  const std::shared_ptr<const FieldMappings> mappings = MappingsOf(settings_);
  const std::vector<FieldMapping>& header_fields = mappings->header;
  const std::vector<FieldMapping>& line_fields = mappings->line;
  const TransferContext context{header_query_, replace_codes_};

  NoteStateBefore(header_output(), false);
  NoteStateBefore(line_output(), false);
  for (OutputTable* output : {&header_output(), &line_output()}) {
    if (single() && output == &line_output()) continue;  // single-file mode: one table
    // The invoice's records become visible together, when the output is closed.
    Guarded("Ошибка записи в файл экспорта "_cp + output->path, [&] { output->table->BeginAppendRun(); });
  }
  if (!single()) {
    OutputTable& out = header_output();
    Guarded("Ошибка записи в файл экспорта "_cp + out.path, [&] {
      const std::vector<BoundField> fields = BindFields(header_fields, header_query_, *out.table);
      out.table->Append();
      for (const BoundField& field : fields) TransferField(field, *out.table, header_query_, context);
      out.table->Post();
    });
  }
  OutputTable& out = line_output();
  Guarded("Ошибка записи в файл экспорта "_cp + out.path, [&] {
    // Columns are found once for all the lines.
    const std::vector<BoundField> line_columns = BindFields(line_fields, line_query_, *out.table);
    std::vector<BoundField> header_columns;
    if (single()) header_columns = BindFields(header_fields, header_query_, *out.table);
    for (line_query_.First(); !line_query_.Eof(); line_query_.Next()) {
      out.table->Append();
      for (const BoundField& field : line_columns) TransferField(field, *out.table, line_query_, context);
      // In the single file the header's values come last and win where the keys coincide.
      for (const BoundField& field : header_columns) TransferField(field, *out.table, header_query_, context);
      out.table->Post();
    }
  });
}

void InvoiceExport::CloseOutputs() {
  // Closing counts the appended records in the header. The header file goes first: a crash before
  // the lines are counted leaves the invoice's header record, by which the next export finds the
  // incomplete copy and replaces it whole.
  for (OutputTable* output : {&header_output_, &line_output_}) {
    if (!output->table) continue;
    Guarded("Ошибка записи в файл экспорта "_cp + output->path, [&] {
      output->table->Close();
      output->table.reset();
    });
  }
}

void InvoiceExport::MarkDelivered() {
  Guarded("Ошибка отметки накладной как доставленной (DLVCHN) в "_cp + source_directory_ + "\\cat_epd.dbf", [&] {
    sql::Query update(source_directory_);
    update.SetSql(" UPDATE \"cat_epd.dbf\"  SET DLVCHN=1  WHERE idMsg=" + n_);
    update.ExecSql();
  });
}

// Puts every output back as NoteStateBefore found it: cut to its record count, and the records
// a replacement deleted live again. Returns the text of what could not be undone, empty when all
// went well.
std::string InvoiceExport::RollBack() {
  std::string trouble;
  auto add_trouble = [&](const std::string& text) {
    if (!trouble.empty()) trouble += "; ";
    trouble += text;
  };
  for (OutputTable* output : {&line_output_, &header_output_}) {
    if (!output->appending) continue;
    // A handle of its own: the export's handle may be the one that failed (opened for reading
    // only when opening for writing was refused at that moment).
    if (output->table) {
      try {
        output->table->Cancel();
        output->table->Close();
      } catch (const std::exception&) {
      }
      output->table.reset();
    }
    std::string engine_trouble;
    try {
      output->table = tables::Table::Open(output->path);
      output->table->TruncateRecords(output->tail_before.records);
    } catch (const std::exception& e) {
      engine_trouble = e.what();
    }
    if (!output->flags_before.empty()) {
      try {
        if (!output->table) output->table = tables::Table::Open(output->path);
        output->table->RestoreDeletionFlags(output->flags_before);
      } catch (const std::exception& e) {
        add_trouble(e.what());  // the bytes restored below do not hold the flags
      }
    }
    try {
      if (output->table) output->table->Close();
    } catch (const std::exception&) {
    }
    output->table.reset();
    try {
      RestoreTail(output->path, output->tail_before);
      output->appending = false;
    } catch (const std::exception& e) {
      add_trouble(engine_trouble.empty() ? std::string(e.what()) : engine_trouble + "; " + e.what());
    }
  }
  return trouble;
}

bool InvoiceExport::Fail(const std::string& text) {
  const bool appended = header_output_.appending || line_output_.appending;
  const bool replacing = !header_output_.flags_before.empty() || !line_output_.flags_before.empty();
  std::string message = "Накладная "_cp + n_ + " не экспортирована. "_cp + text;
  if (!message.empty() && message.back() != '.') message += '.';
  if (appended) {
    std::string trouble = RollBack();
    if (trouble.empty() && replacing)
      message += " Файлы экспорта возвращены в прежнее состояние, прежняя копия накладной сохранена."_cp;
    else if (trouble.empty())
      message += " Записи этой накладной, уже добавленные в файлы экспорта, удалены."_cp;
    else if (replacing)
      message += " Не удалось вернуть файлы экспорта в прежнее состояние: "_cp + trouble;
    else
      message += " Не удалось удалить уже добавленные записи этой накладной: "_cp + trouble;
  }
  platform::ShowError(message);
  return false;
}

}  // namespace

bool ExportEPD(std::int32_t id_msg) {
  try {
    InvoiceExport invoice(id_msg, State());
    return invoice.Run();
  } catch (const std::exception& e) {
    try {
      platform::ShowError("Накладная "_cp + std::to_string(id_msg) + " не экспортирована: "_cp + e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      platform::ShowError("Накладная "_cp + std::to_string(id_msg) + " не экспортирована."_cp);
    } catch (...) {
    }
  }
  return false;
}

}  // namespace epd::exporter
