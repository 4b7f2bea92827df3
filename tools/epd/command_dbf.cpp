// epd dbf: a table's structure and rows, aligned, in UTF-8.
#include <cstdio>
#include <string>

#include "cli_support.h"
#include "commands.h"
#include "dbf_structure.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "tables/table.h"
#include "text_table.h"

namespace epd::tool {
namespace {

std::string Decode(std::string_view bytes, int codepage) {
  return Printable(codepage == 866 ? platform::Cp866ToUtf8(bytes) : platform::Cp1251ToUtf8(bytes));
}

char Hex(int v) { return "0123456789ABCDEF"[v & 15]; }
std::string HexByte(std::uint8_t b) { return std::string("0x") + Hex(b >> 4) + Hex(b); }

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
    table.AddRow({std::to_string(++n), Decode(c.name, 1251), std::string(1, c.type ? c.type : '?'),
                  std::to_string(c.length), std::to_string(c.decimals)});
  std::fputs(table.Render().c_str(), stdout);
}

void PrintRows(const std::string& path, const DbfStructure& s, const DbfOptions& options, int codepage) {
  auto table = tables::Table::Open(path);
  std::vector<std::string> names;
  if (options.columns.empty()) {
    for (int i = 0; i < table->FieldCount(); ++i) names.push_back(table->FieldName(i));
  } else {
    for (const std::string& wanted : options.columns) {
      const std::string name = ToCp1251(wanted, "The column");
      const int index = table->FieldIndex(name);
      if (index < 0) throw Failure{"no column " + wanted + " in " + DisplayPath(path), kExitUsage};
      names.push_back(table->FieldName(index));
    }
  }
  std::vector<std::string> headings;
  for (const std::string& n : names) headings.push_back(Decode(n, 1251));
  TextTable out(headings);
  for (std::size_t i = 0; i < names.size(); ++i)
    for (const DbfColumn& c : s.columns)
      if (platform::EqualsIgnoreCase(c.name, names[i]) &&
          (c.type == 'N' || c.type == 'F' || c.type == 'I' || c.type == 'O' || c.type == '+'))
        out.AlignRight(i);
  int shown = 0, total = 0;
  for (table->First(); !table->Eof(); table->Next(), ++total) {
    if (options.limit > 0 && shown >= options.limit) continue;
    std::vector<std::string> cells;
    for (const std::string& n : names) cells.push_back(Decode(table->AsString(n), codepage));
    out.AddRow(std::move(cells));
    ++shown;
  }
  table->Close();
  std::fputs(out.Render().c_str(), stdout);
  if (shown < total)
    std::printf("%d of %d row(s) shown\n", shown, total);
  else
    std::printf("%d row(s)\n", total);
}

}  // namespace

int RunDbf(const DbfOptions& options) {
  int result = kExitOk;
  bool first = true;
  for (const std::string& file : options.files) {
    if (!first) std::printf("\n");
    first = false;
    const std::string path = ProgramPath(file);
    std::printf("== %s\n", DisplayPath(path).c_str());
    std::fflush(stdout);
    try {
      if (!platform::FileExists(path)) throw Failure{"no such file: " + file};
      const DbfStructure s = ReadDbfStructure(path);
      const int codepage = options.codepage == "866" ? 866 : options.codepage == "1251" ? 1251 : CodePageOf(s);
      if (options.structure) PrintStructure(s, codepage);
      if (options.structure && options.rows) std::printf("\n");
      // The engine hands the texts of a table marked as 866 over in 1251 already.
      if (options.rows) PrintRows(path, s, options, CodePageOf(s) == 866 ? 1251 : codepage);
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
