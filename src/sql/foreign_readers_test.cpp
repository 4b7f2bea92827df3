// Tables checked by programs nobody here wrote: GDAL (ogrinfo), Python's dbfread and dbf, and
// Free Pascal's TDbf. Tables this engine fills must read the same in them, and tables they write
// must read the same here. Without the tools the tests are skipped, unless EPD_REQUIRE_FOREIGN=1
// (the test stage of the foreign readers) makes a missing tool a failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/regional.h"
#include "platform/text.h"
#include "sql/query.h"
#include "tables/dbf_test_util.h"
#include "tables/table.h"

using epd::operator""_cp;

namespace epd::sql {
namespace {

using tables::CreateTable;
using tables::FieldDefs;
using tables::FieldType;
using tables::Table;

using tables::testing::DbfBuilder;
using tables::testing::RussianFormat;
using tables::testing::S;
using tables::testing::ScratchDir;
using tables::testing::WriteBytes;

// The system's Python with Debian's dbf and dbfread modules (not a Python found first on PATH).
const char kPython[] = "/usr/bin/python3";

bool Required() {
  const char* v = std::getenv("EPD_REQUIRE_FOREIGN");
  return v != nullptr && std::string(v) == "1";
}

std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    if (status) *status = -1;
    return out;
  }
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  const int rc = ::pclose(pipe);
  if (status) *status = rc;
  return out;
}

bool Works(const std::string& probe) {
  int status = 0;
  Shell(probe + " >/dev/null 2>&1", &status);
  return status == 0;
}

#define REQUIRE_TOOL(probe, what)                            \
  do {                                                       \
    if (!Works(probe)) {                                     \
      if (Required()) FAIL() << what << " is not installed"; \
      GTEST_SKIP() << what << " is not installed";           \
    }                                                        \
  } while (0)

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// The rows every check expects, in code page 1251: IDMSG|NAME|SUMMA|DT|OK with numbers in
// their shortest form, ISO dates, T/F, and nothing for blank fields.
std::vector<std::string> ExpectedRows() {
  return {S("1|Аптека №1|10.5|2024-01-14|T"_cp), S("-7|Ель|100|2002-02-28|F"_cp), "123456||||"};
}

// Python readers print the same form in UTF-8.
const char kCanon[] = R"(
import datetime, decimal
def canon(v):
    if v is None: return ''
    if isinstance(v, bool): return 'T' if v else 'F'
    if isinstance(v, int): return str(v)
    if isinstance(v, (float, decimal.Decimal)):
        v = float(v)
        return str(int(v)) if v == int(v) else repr(v)
    if isinstance(v, (datetime.date, datetime.datetime)): return v.strftime('%Y-%m-%d')
    v = str(v).rstrip()
    return {'?': ''}.get(v, v)
)";

std::vector<std::string> DbfreadRows(const ScratchDir& dir, const std::string& path) {
  const std::string script = dir.Path("read_dbfread.py");
  WriteBytes(script, std::string(kCanon) + R"(
import sys
from dbfread import DBF
for r in DBF(sys.argv[1], encoding='cp1251'):
    print('|'.join(canon(v) for v in r.values()))
)");
  int status = 0;
  const std::string out = Shell(std::string(kPython) + " " + script + " " + path, &status);
  EXPECT_EQ(status, 0) << out;
  return Lines(platform::Utf8ToCp1251(out));
}

// ogrinfo's feature listing, turned into the rows above.
std::vector<std::string> OgrRows(const std::string& path) {
  int status = 0;
  const std::string out = Shell("ogrinfo -ro -al -q --config SHAPE_ENCODING CP1251 '" + path + "' 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  std::vector<std::string> rows;
  std::vector<std::pair<std::string, std::string>> current;
  const char* columns[] = {"IDMSG", "NAME", "SUMMA", "DT", "OK"};
  auto flush = [&] {
    if (current.empty()) return;
    std::string row;
    for (int i = 0; i < 5; ++i) {
      if (i) row += '|';
      for (auto& [name, value] : current) {
        if (name != columns[i] || value == "(null)") continue;
        if (name == "DT" && value.size() == 10)
          value = value.substr(0, 4) + "-" + value.substr(5, 2) + "-" + value.substr(8, 2);
        if (name == "SUMMA") {
          const double d = std::strtod(value.c_str(), nullptr);
          char buf[32];
          std::snprintf(buf, sizeof buf, "%.15g", d);
          value = buf;
        }
        if (name == "OK" && value == "?") value.clear();
        row += value;
      }
    }
    rows.push_back(platform::Utf8ToCp1251(row));
    current.clear();
  };
  for (const std::string& line : Lines(out)) {
    if (line.rfind("OGRFeature(", 0) == 0) {
      flush();
      current.emplace_back("", "");
      continue;
    }
    const std::size_t open = line.find(" ("), eq = line.find(") = ");
    if (line.rfind("  ", 0) == 0 && open != std::string::npos && eq != std::string::npos)
      current.emplace_back(line.substr(2, open - 2), line.substr(eq + 4));
  }
  flush();
  return rows;
}

// Free Pascal programs compiled once per test run.
std::string PascalTool(const ScratchDir& dir, const std::string& name, const std::string& source) {
  const std::string src = dir.Path(name + ".pas");
  WriteBytes(src, source);
  int status = 0;
  const std::string out = Shell("cd '" + dir.dir() + "' && fpc -O1 -v0 " + name + ".pas 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  return dir.Path(name);
}

const char kTdbfDump[] = R"(program dbfdump;
{$mode objfpc}{$H+}
uses SysUtils, db, dbf;
var t: TDbf; i: Integer; f: TField; line: RawByteString; fs: TFormatSettings;
begin
  fs := DefaultFormatSettings;
  fs.DecimalSeparator := '.';
  t := TDbf.Create(nil);
  t.FilePathFull := ExtractFilePath(ParamStr(1));
  t.TableName := ExtractFileName(ParamStr(1));
  t.ReadOnly := True;
  t.Open;
  WriteLn('LEVEL ', t.TableLevel);
  while not t.EOF do begin
    line := '';
    for i := 0 to t.FieldCount - 1 do begin
      f := t.Fields[i];
      if i > 0 then line := line + '|';
      if f.IsNull then continue;
      case f.DataType of
        ftDate, ftDateTime: line := line + FormatDateTime('yyyy-mm-dd', f.AsDateTime);
        ftFloat, ftCurrency, ftBCD: line := line + FloatToStr(f.AsFloat, fs);
        ftBoolean: if f.AsBoolean then line := line + 'T' else line := line + 'F';
        ftSmallint, ftInteger, ftLargeint, ftAutoInc, ftWord: line := line + IntToStr(f.AsLargeInt);
      else
        line := line + TrimRight(f.AsString);
      end;
    end;
    WriteLn(line);
    t.Next;
  end;
  t.Close;
end.
)";

// Writes the expected rows at a table level: appends, then a change of the second row and the
// deletion of an extra fourth one.
const char kTdbfMake[] = R"(program dbfmake;
{$mode objfpc}{$H+}
uses SysUtils, db, dbf;
var t: TDbf;
procedure Add(id: Integer; const name: RawByteString; summa: Double; dt: TDateTime; ok: Integer);
begin
  t.Append;
  t.FieldByName('IDMSG').AsInteger := id;
  if name <> '' then t.FieldByName('NAME').AsString := name;
  if summa <> -1 then t.FieldByName('SUMMA').AsFloat := summa;
  if dt <> 0 then t.FieldByName('DT').AsDateTime := dt;
  if ok >= 0 then t.FieldByName('OK').AsBoolean := ok = 1;
  t.Post;
end;
begin
  t := TDbf.Create(nil);
  t.FilePathFull := ExtractFilePath(ParamStr(1));
  t.TableName := ExtractFileName(ParamStr(1));
  t.TableLevel := StrToInt(ParamStr(2));
  t.FieldDefs.Add('IDMSG', ftInteger);
  t.FieldDefs.Add('NAME', ftString, 20);
  t.FieldDefs.Add('SUMMA', ftFloat);
  t.FieldDefs.Add('DT', ftDate);
  t.FieldDefs.Add('OK', ftBoolean);
  t.CreateTable;
  t.Open;
  Add(1, #$C0#$EF#$F2#$E5#$EA#$E0' '#$B9'1', 10.5, EncodeDate(2024, 1, 14), 1);
  Add(-7, #$A8#$EB#$EA#$E0, -0.25, EncodeDate(2002, 2, 28), 0);
  Add(123456, '', -1, 0, -1);
  Add(99, 'gone', 1, 0, -1);
  t.First;
  t.Next;
  t.Edit;
  t.FieldByName('NAME').AsString := #$C5#$EB#$FC;
  t.FieldByName('SUMMA').AsFloat := 100;
  t.Post;
  t.Last;
  t.Delete;
  t.Close;
end.
)";

// Fills a table through the engine: four appends, an UPDATE and a DELETE.
void FillThroughEngine(const std::string& path) {
  RussianFormat ru;
  auto t = Table::Open(path);
  const std::vector<std::vector<std::string>> rows = {{"1", S("Аптека №1"_cp), "10,5", "14.01.2024", "True"},
                                                      {"-7", S("Ёлка"_cp), "-0,25", "28.02.2002", "False"},
                                                      {"123456", "", "", "", ""},
                                                      {"99", S("Удалить"_cp), "1", "01.01.2001", "T"}};
  const char* columns[] = {"IDMSG", "NAME", "SUMMA", "DT", "OK"};
  for (const auto& row : rows) {
    t->Append();
    for (int i = 0; i < 5; ++i) t->SetAsString(columns[i], row[static_cast<std::size_t>(i)]);
    t->Post();
  }
  Query q;
  q.SetSql(S("UPDATE \""_cp) + path + S("\" SET NAME = 'Ель', SUMMA = 100 WHERE IDMSG = -7"_cp));
  EXPECT_EQ(q.ExecSql(), 1);
  q.SetSql("DELETE FROM \"" + path + "\" WHERE IDMSG = 99");
  EXPECT_EQ(q.ExecSql(), 1);
}

std::vector<std::string> EngineRows(const std::string& path) {
  platform::SetRegionalFormatOverride(platform::RegionalFormat{'.', "yyyy-MM-dd"});
  std::vector<std::string> rows;
  auto t = Table::Open(path);
  for (t->First(); !t->Eof(); t->Next()) {
    std::string row;
    for (int i = 0; i < t->FieldCount(); ++i) {
      std::string v = t->AsString(t->FieldName(i));
      if (v == "True") v = "T";
      if (v == "False") v = "F";
      row += (i ? "|" : "") + v;
    }
    rows.push_back(row);
  }
  platform::SetRegionalFormatOverride(std::nullopt);
  return rows;
}

TEST(ForeignReadersTest, LevelThreeAndFourTablesFilledHereReadTheSameInGdalAndDbfread) {
  REQUIRE_TOOL("ogrinfo --version", "GDAL (ogrinfo)");
  REQUIRE_TOOL(std::string(kPython) + " -c 'import dbfread'", "python3-dbfread");
  for (std::uint8_t version : {0x03, 0x83, 0x8B}) {
    ScratchDir dir;
    const std::string path = dir.Path("filled.dbf");
    DbfBuilder(version)
        .Field("IDMSG", 'N', 11)
        .Field("NAME", 'C', 20)
        .Field("SUMMA", 'N', 9, 2)
        .Field("DT", 'D', 8)
        .Field("OK", 'L', 1)
        .Write(path);
    FillThroughEngine(path);
    EXPECT_EQ(EngineRows(path), ExpectedRows()) << int(version);
    EXPECT_EQ(DbfreadRows(dir, path), ExpectedRows()) << int(version);
    EXPECT_EQ(OgrRows(path), ExpectedRows()) << int(version);
  }
}

TEST(ForeignReadersTest, LevelSevenTablesCreatedHereReadTheSameInTdbf) {
  REQUIRE_TOOL("fpc -iV", "Free Pascal (fpc)");
  ScratchDir dir;
  const std::string dump = PascalTool(dir, "dbfdump", kTdbfDump);
  const std::string path = dir.Path("level7.dbf");
  FieldDefs defs;
  defs.Add("IDMSG", FieldType::kInteger);
  defs.Add("NAME", FieldType::kString, 20);
  defs.Add("SUMMA", FieldType::kFloat);
  defs.Add("DT", FieldType::kDate);
  defs.Add("OK", FieldType::kBoolean);
  CreateTable(path, defs);
  FillThroughEngine(path);
  EXPECT_EQ(EngineRows(path), ExpectedRows());
  std::vector<std::string> rows = Lines(Shell("'" + dump + "' '" + path + "' 2>&1"));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front(), "LEVEL 7");
  rows.erase(rows.begin());
  EXPECT_EQ(rows, ExpectedRows());
}

TEST(ForeignReadersTest, TablesWrittenByTdbfAtLevelsThreeFourAndSevenReadHere) {
  REQUIRE_TOOL("fpc -iV", "Free Pascal (fpc)");
  ScratchDir dir;
  const std::string make = PascalTool(dir, "dbfmake", kTdbfMake);
  for (const char* level : {"3", "4", "7"}) {
    const std::string path = dir.Path(std::string("tdbf") + level + ".dbf");
    int status = 0;
    const std::string out = Shell("'" + make + "' '" + path + "' " + level + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(EngineRows(path), ExpectedRows()) << "level " << level;
  }
}

TEST(ForeignReadersTest, TablesWrittenByPythonDbfAndGdalReadHere) {
  REQUIRE_TOOL(std::string(kPython) + " -c 'import dbf'", "python3-dbf");
  REQUIRE_TOOL("ogr2ogr --version", "GDAL (ogr2ogr)");
  ScratchDir dir;
  for (const char* type : {"db3", "vfp"}) {
    const std::string path = dir.Path(std::string("py_") + type + ".dbf");
    const std::string script = dir.Path("write_dbf.py");
    WriteBytes(script, R"(
import sys, datetime, dbf
t = dbf.Table(sys.argv[1], 'IDMSG N(11,0); NAME C(20); SUMMA N(9,2); DT D; OK L', dbf_type=sys.argv[2], codepage='cp1251')
t.open(dbf.READ_WRITE)
t.append((1, 'Аптека №1', 10.5, datetime.date(2024, 1, 14), True))
t.append((-7, 'Ёлка', -0.25, datetime.date(2002, 2, 28), False))
t.append((123456,))
t.append((99, 'Удалить', 1, None, None))
dbf.write(t[1], name='Ель', summa=100)
dbf.delete(t[3])
t.close()
)");
    int status = 0;
    const std::string out = Shell(std::string(kPython) + " " + script + " " + path + " " + type + " 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_EQ(EngineRows(path), ExpectedRows()) << type;
  }

  WriteBytes(dir.Path("g.csv"),
             "IDMSG,NAME,SUMMA,DT,OK\n1,Аптека №1,10.5,2024/01/14,T\n-7,Ель,100,2002/02/28,F\n123456,,,,\n");
  WriteBytes(dir.Path("g.csvt"), "\"Integer\",\"String(20)\",\"Real(9.2)\",\"Date\",\"String(1)\"\n");
  int status = 0;
  const std::string out =
      Shell("cd '" + dir.dir() + "' && ogr2ogr -f 'ESRI Shapefile' -lco ENCODING=CP1251 gdal.dbf g.csv 2>&1", &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(EngineRows(dir.Path("gdal.dbf")), ExpectedRows());
}

}  // namespace
}  // namespace epd::sql
