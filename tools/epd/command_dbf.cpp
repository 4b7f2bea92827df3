// epd dbf: a table's structure and rows, aligned, in UTF-8; or its rows as CSV.
#include <cstdio>
#include <functional>
#include <string>

#include "cli_support.h"
#include "commands.h"
#include "dbf_structure.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "tables/table.h"
#include "terminal.h"
#include "text_table.h"

namespace epd::tool {
namespace {

std::string Decode(std::string_view bytes, int codepage) {
  return codepage == 866 ? platform::Cp866ToUtf8(bytes) : platform::Cp1251ToUtf8(bytes);
}

char Hex(int v) { return "0123456789ABCDEF"[v & 15]; }
std::string HexByte(std::uint8_t b) { return std::string("0x") + Hex(b >> 4) + Hex(b); }

bool IsNumeric(char type) { return type == 'N' || type == 'F' || type == 'I' || type == 'O' || type == '+'; }

void PrintStructure(const DbfStructure& s, int codepage) {
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", s.year % 10000, s.month % 100, s.day % 100);
  std::printf("version %s (%s), last update %s, %u record(s), header %u bytes, record %u bytes\n",
              HexByte(s.version).c_str(), VersionName(s.version).c_str(), date, s.records, s.header_length,
              s.record_length);
  std::printf("language driver %s, texts read as code page %d\n",
              s.language_name.empty() ? HexByte(s.language).c_str() : s.language_name.c_str(), codepage);
  TextTable table({"#", "FIELD", "TYPE", "LENGTH", "DECIMALS"});
  for (std::size_t c : {0u, 3u, 4u}) table.AlignRight(c);
  int n = 0;
  for (const DbfColumn& c : s.columns)
    table.AddRow({std::to_string(++n), Printable(Decode(c.name, 1251)), std::string(1, c.type ? c.type : '?'),
                  std::to_string(c.length), std::to_string(c.decimals)});
  std::fputs(table.Render().c_str(), stdout);
}

// The rows of a table as UTF-8 texts of the chosen columns.
class Rows {
 public:
  Rows(const std::string& path, const DbfStructure& s, const DbfOptions& options, int codepage)
      : table_(tables::Table::Open(path)), codepage_(codepage), limit_(options.limit) {
    if (options.columns.empty()) {
      for (int i = 0; i < table_->FieldCount(); ++i) names_.push_back(table_->FieldName(i));
    } else {
      for (const std::string& wanted : options.columns) {
        const int index = table_->FieldIndex(ToCp1251(wanted, "The column"));
        if (index < 0) throw Failure{"no column " + wanted + " in " + DisplayPath(path), kExitUsage};
        names_.push_back(table_->FieldName(index));
      }
    }
    for (const std::string& n : names_) {
      headings_.push_back(Decode(n, 1251));
      bool numeric = false;
      for (const DbfColumn& c : s.columns)
        if (platform::EqualsIgnoreCase(c.name, n)) numeric = IsNumeric(c.type);
      numeric_.push_back(numeric);
    }
  }

  const std::vector<std::string>& headings() const { return headings_; }
  bool numeric(std::size_t column) const { return numeric_[column]; }

  // Calls `row` for each row up to the limit; returns how many rows the table has.
  int Each(const std::function<void(const std::vector<std::string>&)>& row) {
    int shown = 0, total = 0;
    std::vector<std::string> cells;
    for (table_->First(); !table_->Eof(); table_->Next(), ++total) {
      if (limit_ > 0 && shown >= limit_) continue;
      cells.clear();
      for (const std::string& n : names_) cells.push_back(Decode(table_->AsString(n), codepage_));
      row(cells);
      ++shown;
    }
    table_->Close();
    shown_ = shown;
    return total;
  }
  int shown() const { return shown_; }

 private:
  std::unique_ptr<tables::Table> table_;
  int codepage_;
  int limit_;
  std::vector<std::string> names_, headings_;
  std::vector<bool> numeric_;
  int shown_ = 0;
};

void PrintRows(Rows& rows) {
  TextTable out(rows.headings());
  for (std::size_t i = 0; i < rows.headings().size(); ++i)
    if (rows.numeric(i)) out.AlignRight(i);
  const int total = rows.Each([&](const std::vector<std::string>& cells) {
    std::vector<std::string> shown;
    for (const std::string& c : cells) shown.push_back(Printable(c));
    out.AddRow(std::move(shown));
  });
  std::fputs(out.Render().c_str(), stdout);
  if (rows.shown() < total)
    std::printf("%d of %d row(s) shown\n", rows.shown(), total);
  else
    std::printf("%d row(s)\n", total);
}

// One CSV record (RFC 4180): a cell holding the separator, a quote or a line end is quoted, its
// quotes doubled; CRLF at the end.
std::string CsvLine(const std::vector<std::string>& cells, char separator) {
  std::string line;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (i > 0) line += separator;
    const std::string& c = cells[i];
    if (c.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string::npos) {
      line += c;
      continue;
    }
    line += '"';
    for (char ch : c) line += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    line += '"';
  }
  return line + "\r\n";
}

void WriteCsv(Rows& rows, const DbfOptions& options) {
  BinaryStdout();  // the line ends are CRLF as written, on every system
  const bool utf8 = options.csv_codepage != "1251";
  auto emit = [&](const std::vector<std::string>& cells) {
    const std::string line = CsvLine(cells, options.separator);
    const std::string bytes = utf8 ? line : platform::Utf8ToCp1251(line);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  };
  if (utf8) std::fputs("\xEF\xBB\xBF", stdout);  // so that a spreadsheet takes the text as UTF-8
  emit(rows.headings());
  rows.Each(emit);
}

// The header is checked first, so that a file that is no table gets one line and nothing else.
void ShowTable(const std::string& path, const DbfOptions& options) {
  const DbfStructure s = ReadDbfStructure(path);
  const int codepage = options.codepage == "866" ? 866 : options.codepage == "1251" ? 1251 : CodePageOf(s);
  // The engine hands the texts of a table marked as 866 over in 1251 already.
  const int row_codepage = CodePageOf(s) == 866 ? 1251 : codepage;
  if (options.csv) {
    Rows rows(path, s, options, row_codepage);
    WriteCsv(rows, options);
    return;
  }
  std::printf("== %s\n", DisplayPath(path).c_str());
  if (options.structure) PrintStructure(s, codepage);
  if (options.structure && options.rows) std::printf("\n");
  std::fflush(stdout);
  if (options.rows) {
    Rows rows(path, s, options, row_codepage);
    PrintRows(rows);
  }
}

}  // namespace

int RunDbf(const DbfOptions& options) {
  if (options.csv && options.files.size() != 1) throw Failure{"--csv writes one table: give one FILE", kExitUsage};
  int result = kExitOk;
  bool first = true;
  for (const std::string& file : options.files) {
    const std::string path = ProgramPath(file);
    try {
      if (!platform::FileExists(path)) throw Failure{"no such file: " + DisplayPath(path)};
      if (!first) std::printf("\n");
      ShowTable(path, options);
      first = false;
    } catch (const NotATable& n) {
      Console::Get().Error(DisplayPath(path) + " is not a dBASE table: " + n.reason);
      result = kExitFailed;
    } catch (const Failure& f) {
      if (f.exit_code == kExitUsage) throw;
      Console::Get().Error(f.message);
      result = kExitFailed;
    } catch (const std::exception& e) {
      Console::Get().Error(ToUtf8(e.what()));
      result = kExitFailed;
    }
    std::fflush(stdout);
  }
  return result;
}

}  // namespace epd::tool
