// The epd tool's commands, run as a program on a copy of the sample host.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "test_tool.h"

namespace {

using namespace epd::tool_testing;
namespace fs = std::filesystem;

TEST_F(EpdTool, HelpAndUsageErrors) {
  for (const char* command : {"export", "export-new", "settings", "mapping", "suppliers", "dbf", "doctor"}) {
    Result r = Run({command, "--help"});
    EXPECT_EQ(r.code, 0) << command;
    EXPECT_TRUE(Has(r.out, "Usage")) << command << r.out;
  }
  Result r = Run({"--help"});
  EXPECT_EQ(r.code, 0);
  EXPECT_TRUE(Has(r.out, "export-new"));
  EXPECT_EQ(Run({}).code, 2);
  EXPECT_EQ(Run({"bogus"}).code, 2);
  EXPECT_EQ(Run({"export", "--base", base()}).code, 2);         // no invoice
  EXPECT_EQ(Run({"export", "--base", base(), "12x"}).code, 2);  // not a number
  EXPECT_EQ(Run({"export", "--base", base(), "--replace", "maybe", "1"}).code, 2);
  EXPECT_EQ(Run({"doctor"}).code, 2);  // no base directory
  r = Run({"export", "--base", (work_ / "nowhere").string(), "1"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "does not exist")) << r.err;
}

TEST_F(EpdTool, SettingsShowGetSet) {
  Result r = Run({"settings", "--base", base(), "show"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "bAutoExportEPD")) << r.out;
  EXPECT_TRUE(Has(r.out, "export_epd.ini")) << r.out;
  // What the export falls back on, and the dialog's own default where it differs.
  EXPECT_TRUE(Has(r.out, "5 (dialog: 7)")) << r.out;

  // A relative export directory is stored as the library builds paths: absolute, "\"-separated.
  std::string command = "cd " + Quote(work_.string()) + " && " + Quote(std::string(EPD_BINARY_DIR) + "/tools/epd/epd") +
                        " settings --base host set EPD Export_Dir export >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  r = Run({"settings", "--base", base(), "get", "epd", "export_dir"});
  ASSERT_EQ(r.code, 0) << r.err;
  std::string expected = (work_ / "export").string();
  for (char& c : expected)
    if (c == '/') c = '\\';
  EXPECT_EQ(r.out, expected + "\n");

  r = Run({"settings", "--base", base(), "set", "EPD", "charlength", "5"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Run({"settings", "--base", base(), "get", "EPD", "charlength"}).out, "5\n");
  r = Run({"settings", "--base", base(), "get", "EPD", "nosuchkey"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "not set")) << r.err;
  // Other lines of the file stay as they were.
  EXPECT_TRUE(Has(Slurp(host() / "DATA" / "export_epd.ini"), "[SENDER]\r\nname=SENDER\r\n"));
}

// The host's own folder of invoice tables, by any spelling, is refused in one line and nothing
// is written.
TEST_F(EpdTool, SettingsRefuseTheHostsInvoiceFolderAsExportDirectory) {
  const std::string before = Slurp(host() / "DATA" / "export_epd.ini");
  for (const fs::path& dir : {host() / "ORDERS" / "EPD", host() / "orders" / "epd" / ""}) {
    Result r = Run({"settings", "--base", base(), "set", "EPD", "export_dir", dir.string()});
    EXPECT_EQ(r.code, 1) << dir;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(Has(r.err, "epd: Папка экспорта ")) << r.err;
    EXPECT_TRUE(Has(r.err, "Укажите другую папку экспорта.")) << r.err;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(Slurp(host() / "DATA" / "export_epd.ini"), before);
  PointExportAtWork();
}

TEST_F(EpdTool, MappingShowAndSet) {
  Result r = Run({"mapping", "--base", base(), "show"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "SENDER")) << r.out;
  EXPECT_TRUE(Has(r.out, "WHLLNKPRMS")) << r.out;

  r = Run({"mapping", "--base", base(), "set", "sender", "name=POSTAV", "length=30"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "[SENDER] name=POSTAV length=30 type=ftString")) << r.out;
  r = Run({"mapping", "--base", base(), "set", "GNVLS", "type=нет"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(Slurp(host() / "DATA" / "export_epd.ini"), "type=\xED\xE5\xF2"));  // "нет" in 1251

  EXPECT_EQ(Run({"mapping", "--base", base(), "set", "NOSUCH", "name=X"}).code, 2);
  EXPECT_EQ(Run({"mapping", "--base", base(), "set", "SENDER", "type=ftstring"}).code, 2);
  EXPECT_EQ(Run({"mapping", "--base", base(), "set", "SENDER", "length=abc"}).code, 2);
  EXPECT_EQ(Run({"mapping", "--base", base(), "set", "SENDER", "width=3"}).code, 2);
}

TEST_F(EpdTool, SuppliersListAddRemove) {
  Result r = Run({"suppliers", "--base", base(), "list"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "no supplier is listed")) << r.out;

  r = Run({"suppliers", "--base", base(), "add", "102"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "АО «Медснаб»")) << r.out;
  ASSERT_EQ(Run({"suppliers", "--base", base(), "add", "104"}).code, 0);
  EXPECT_TRUE(Has(Run({"suppliers", "--base", base(), "add", "102"}).out, "already listed"));
  r = Run({"suppliers", "--base", base(), "list"});
  ASSERT_EQ(r.code, 0) << r.err;
  // Ordered by name: "АО «Медснаб»" before "ООО «Вита-Опт»".
  EXPECT_LT(r.out.find("Медснаб"), r.out.find("Вита-Опт")) << r.out;

  r = Run({"suppliers", "--base", base(), "add", "999"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "999")) << r.err;
  EXPECT_EQ(Run({"suppliers", "--base", base(), "remove", "102"}).code, 0);
  EXPECT_EQ(Run({"suppliers", "--base", base(), "remove", "102"}).code, 1);
  r = Run({"suppliers", "--base", base(), "list"});
  EXPECT_FALSE(Has(r.out, "Медснаб")) << r.out;
  EXPECT_TRUE(Has(r.out, "Вита-Опт")) << r.out;
}

TEST_F(EpdTool, ExportNewThenSingleExports) {
  PointExportAtWork();
  ASSERT_EQ(Run({"suppliers", "--base", base(), "add", "102"}).code, 0);
  Result r = Run({"export-new", "--base", base(), "--replace", "no"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "3 invoice(s) waiting: 3 exported, 0 kept as exported before, 0 failed")) << r.out;
  EXPECT_EQ(r.err, "");

  r = Run({"dbf", exported("cat_epd.dbf").string(), "--rows", "--columns", "IDMSG,SENDER,INVNUM"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "240101")) << r.out;
  EXPECT_TRUE(Has(r.out, "ООО «Фармлайн-Юг»")) << r.out;
  EXPECT_FALSE(Has(r.out, "240103")) << r.out;  // delivery type DR
  EXPECT_TRUE(Has(r.out, "3 row(s)")) << r.out;
  // Supplier 102 is listed: its codes are replaced by substitute numbers.
  r = Run({"dbf", exported("body_epd.dbf").string(), "--rows", "--columns", "IDMSG,LOCALCOD"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(Has(r.out, "A-5521")) << r.out;
  EXPECT_TRUE(Has(r.out, "10234")) << r.out;
  // The host's own table now marks them delivered.
  r = Run({"dbf", (host() / "ORDERS" / "EPD" / "cat_epd.dbf").string(), "--rows", "--columns", "IDMSG,DLVCHN"});
  EXPECT_TRUE(Has(r.out, "240101       1")) << r.out;
  EXPECT_TRUE(Has(r.out, "240103       0")) << r.out;

  // Again: every invoice is found in the output and kept.
  r = Run({"export-new", "--base", base(), "--replace", "no"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "3 invoice(s) waiting: 0 exported, 3 kept as exported before, 0 failed")) << r.out;

  r = Run({"export", "--base", base(), "240101", "240103", "999", "--replace", "yes"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.out, "invoice 240101: exported")) << r.out;
  EXPECT_TRUE(Has(r.out, "invoice 240103: not exported (delivery type DR")) << r.out;
  EXPECT_TRUE(Has(r.out, "invoice 999: not exported")) << r.out;
  EXPECT_TRUE(Has(r.err, "Не найден заголовок накладной")) << r.err;
}

// A failed invoice's line says why, from the export's outcome: the fixed text of the box, the
// file and the cause.
TEST_F(EpdTool, AFailedExportPrintsItsReason) {
  PointExportAtWork();
  ASSERT_EQ(Run({"settings", "--base", base(), "set", "Settings", "level", "9"}).code, 0);
  Result r = Run({"export-new", "--base", base(), "--replace", "no"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.out, "3 invoice(s) waiting: 0 exported, 0 kept as exported before, 3 failed")) << r.out;
  const std::string reason =
      "not exported: Ошибка создания файлов экспорта накладной: " + exported("cat_epd.dbf").string() +
      ": Уровень 9 в настройках (Settings/level)";
  EXPECT_TRUE(Has(r.out, "invoice 240101: " + reason)) << r.out;
  EXPECT_TRUE(Has(r.out, "invoice 240104: " + reason)) << r.out;
  EXPECT_TRUE(Has(r.err, "invoice 240102: Ошибка создания файлов экспорта накладной\n")) << r.err;

  r = Run({"export", "--base", base(), "240101"});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.out, "invoice 240101: " + reason)) << r.out;
}

TEST_F(EpdTool, ExportNewExplainsWhyItDidNotRun) {
  PointExportAtWork();
  ASSERT_EQ(Run({"settings", "--base", base(), "set", "EPD", "bAutoExportEPD", "0"}).code, 0);
  Result r = Run({"export-new", "--base", base()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "bAutoExportEPD")) << r.err;
  ASSERT_EQ(Run({"settings", "--base", base(), "set", "EPD", "bAutoExportEPD", "1"}).code, 0);
  fs::remove(host() / "ORDERS" / "EPD" / "epdbd.dbf");
  r = Run({"export-new", "--base", base()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "epdbd.dbf")) << r.err;
}

TEST_F(EpdTool, DbfPrintsStructureAndRowsInUtf8) {
  Result r = Run({"dbf", (host() / "Price" / "Sellers.dbf").string()});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "version 0x03")) << r.out;
  EXPECT_TRUE(Has(r.out, "5 record(s)")) << r.out;
  EXPECT_TRUE(Has(r.out, "IDSELLER")) << r.out;
  EXPECT_TRUE(Has(r.out, "ЗАО «Аптечный двор»")) << r.out;
  EXPECT_TRUE(Has(r.out, "5 row(s)")) << r.out;

  r = Run({"dbf", (host() / "Price" / "Sellers.dbf").string(), "--codepage", "866", "--rows", "--limit", "2"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_FALSE(Has(r.out, "Аптечный")) << r.out;  // 1251 bytes read as 866 are not that text
  EXPECT_TRUE(Has(r.out, "2 of 5 row(s) shown")) << r.out;

  EXPECT_EQ(Run({"dbf", (host() / "Price" / "Sellers.dbf").string(), "--columns", "NOPE"}).code, 2);
  r = Run({"dbf", (work_ / "missing.dbf").string()});
  EXPECT_EQ(r.code, 1);
  EXPECT_TRUE(Has(r.err, "missing.dbf")) << r.err;
}

TEST_F(EpdTool, DosCodedOutputReadsBackWithCodepage866) {
  PointExportAtWork();
  ASSERT_EQ(Run({"settings", "--base", base(), "set", "EPD", "bDOScoding", "1"}).code, 0);
  ASSERT_EQ(Run({"export", "--base", base(), "240102", "--replace", "no"}).code, 0);
  Result r = Run({"dbf", exported("cat_epd.dbf").string(), "--codepage", "866", "--rows", "--columns", "SENDER"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_TRUE(Has(r.out, "АО «Медснаб»") || Has(r.out, "АО \"Медснаб\"")) << r.out;

  // Marked with the 866 language driver, the table reads right without being told.
  {
    std::fstream f(exported("cat_epd.dbf"), std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(29);
    f.put(static_cast<char>(0x26));
  }
  for (const char* codepage : {"auto", "866"}) {
    r = Run({"dbf", exported("cat_epd.dbf").string(), "--codepage", codepage, "--rows", "--columns", "SENDER"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "АО «Медснаб»") || Has(r.out, "АО \"Медснаб\"")) << codepage << r.out;
  }
}

TEST_F(EpdTool, DbfSaysInOneLineThatAFileIsNoTable) {
  const fs::path good = work_ / "good.dbf";
  MakeTable(good, {{"NAME", 'C', 10, 0}, {"QTY", 'N', 5, 0}}, {{{"NAME", "a"}, {"QTY", "1"}}, {{"NAME", "b"}}});
  const std::string table = Slurp(good);  // header 97 bytes, records of 16 bytes, end mark
  struct Case {
    const char* name;
    std::function<void(std::string&)> damage;
    const char* reason;
  } cases[] = {
      {"a text file", [](std::string& b) { b = "root:x:0:0:root:/root:/bin/bash\n" + b; }, "first byte 0x72"},
      {"shorter than a header", [](std::string& b) { b.resize(20); }, "20 bytes, fewer than"},
      {"header past the end", [](std::string& b) { b.resize(60); }, "header length 97 does not fit the file's 60"},
      {"header without fields", [](std::string& b) { b[8] = 32; }, "header length 32 does not fit a header"},
      {"record length 0", [](std::string& b) { b[10] = 0; }, "record length is 0"},
      {"records cut off", [](std::string& b) { b.resize(97 + 16 + 3); },
       "counts 2 records of 16 bytes, the file holds only 1"},
      {"control character in a name", [](std::string& b) { b[33] = '\x01'; }, "descriptor 1 has a control character"},
      {"no name", [](std::string& b) { b[64] = '1'; }, "descriptor 2 has no name"},
      {"no type", [](std::string& b) { b[32 + 11] = 'c'; }, "descriptor 1 has no field type"},
      {"no end mark", [](std::string& b) { b[96] = 'X'; }, "no end mark (0x0D) inside the header's 97 bytes"},
      {"end mark outside the header", [](std::string& b) { b[8] = 96; }, "no end mark (0x0D) inside the header's 96"},
      {"fields and record disagree", [](std::string& b) { b[10] = 15; },
       "fields take 16 bytes of a record, the header says 15"},
  };
  for (const Case& c : cases) {
    const fs::path bad = work_ / "Мои таблицы" / (std::string(c.name) + ".dbf");
    fs::create_directories(bad.parent_path());
    std::string bytes = table;
    c.damage(bytes);
    std::ofstream(bad, std::ios::binary) << bytes;
    Result r = Run({"dbf", bad.string(), good.string()});
    EXPECT_EQ(r.code, 1) << c.name;
    EXPECT_EQ(r.out.rfind("== " + good.string() + "\n", 0), 0u) << c.name << ": only the good table is shown\n"
                                                                << r.out;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("epd: " + bad.string() + " is not a dBASE table: ", 0), 0u) << c.name << "\n" << r.err;
    EXPECT_TRUE(Has(r.err, c.reason)) << c.name << "\n" << r.err;
  }
  EXPECT_EQ(Run({"dbf", good.string()}).code, 0);  // the checks pass the engine's own tables
}

// The library's messages name files the way the system does, folders with blanks included.
TEST_F(EpdTool, MessagesShowPathsAsTheSystemWritesThem) {
  const fs::path out = work_ / "Экспорт накладных";
  fs::create_directories(out);
  ASSERT_EQ(Run({"settings", "--base", base(), "set", "EPD", "Export_Dir", out.string()}).code, 0);
  std::ofstream(out / "cat_epd.dbf") << "garbage, no table" << std::string(60, '.');
  Result r = Run({"export", "--base", base(), "240101", "--replace", "no"});
  EXPECT_EQ(r.code, 1);
  const std::string shown = (out / "cat_epd.dbf").string();
  EXPECT_TRUE(Has(r.err, "Ошибка открытия файла экспорта " + shown + ": Файл таблицы " + shown + " повреждён"))
      << r.err;
  EXPECT_FALSE(Has(r.err, "\\")) << r.err;
}

// CSV for a spreadsheet: RFC 4180 quoting, CRLF, UTF-8 with a byte-order mark or code page 1251,
// numbers with the decimal separator the table gives.
TEST_F(EpdTool, DbfWritesRowsAsCsv) {
  const epd::dbf::TDBFFieldDefs columns = {{"NAME", 'C', 20, 0}, {"SUM", 'N', 8, 2}};
  const std::vector<Cells> rows = {{{"NAME", "Аптека №1"}, {"SUM", "12,5"}},
                                   {{"NAME", "a,b;c"}, {"SUM", "3"}},
                                   {{"NAME", "say \"hi\""}},
                                   {{"NAME", "two\r\nlines"}, {"SUM", "-0,25"}}};
  MakeTable(work_ / "t.dbf", columns, rows);
  MakeTable(work_ / "dos.dbf", columns, rows, 0x26);  // the engine keeps its texts in 866
  const std::string bom = "\xEF\xBB\xBF";
  const std::string comma =
      "NAME,SUM\r\nАптека №1,\"12,5\"\r\n\"a,b;c\",3\r\n\"say \"\"hi\"\"\",\r\n\"two\r\nlines\",\"-0,25\"\r\n";
  const std::string semicolon =
      "NAME;SUM\r\nАптека №1;12,5\r\n\"a,b;c\";3\r\n\"say \"\"hi\"\"\";\r\n\"two\r\nlines\";-0,25\r\n";
  struct Case {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"t.dbf"}, bom + comma},
      {{"dos.dbf"}, bom + comma},
      {{"t.dbf", "--separator", ";"}, bom + semicolon},
      {{"t.dbf", "--separator", "tab"},
       bom + "NAME\tSUM\r\nАптека №1\t12,5\r\na,b;c\t3\r\n\"say \"\"hi\"\"\"\t\r\n\"two\r\nlines\"\t-0,25\r\n"},
      {{"t.dbf", "--csv-codepage", "1251"}, epd::platform::Utf8ToCp1251(comma)},
      {{"t.dbf", "--columns", "sum,NAME", "--limit", "1"}, bom + "SUM,NAME\r\n\"12,5\",Аптека №1\r\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"dbf", "--csv"};
    for (const std::string& a : c.args) args.push_back(a.ends_with(".dbf") ? (work_ / a).string() : a);
    Result r = Run(args);
    EXPECT_EQ(r.code, 0) << c.args[0] << r.err;
    EXPECT_EQ(r.out, c.out) << ::testing::PrintToString(c.args);
  }
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"--csv", "t.dbf", "t.dbf"},
                                             {"--csv", "--structure", "t.dbf"},
                                             {"--csv", "--csv-codepage", "866", "t.dbf"},
                                             {"--csv", "--separator", "|", "t.dbf"},
                                             {"--separator", ";", "t.dbf"}}) {
    std::vector<std::string> args = {"dbf"};
    for (const std::string& a : wrong) args.push_back(a.ends_with(".dbf") ? (work_ / a).string() : a);
    EXPECT_EQ(Run(args).code, 2) << ::testing::PrintToString(wrong);
  }
}

TEST_F(EpdTool, VersionIsTheProjects) {
  Result r = Run({"--version"});
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, std::string("epd ") + EPD_VERSION + "\n");
}

// The committed sample host is what the generator makes.
TEST_F(EpdTool, SampleHostMatchesItsGenerator) {
  const fs::path fresh = work_ / "fresh";
  std::string command = Quote(std::string(EPD_BINARY_DIR) + "/examples/make_sample_host") + " " + Quote(fresh.string());
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (const char* file : {"ORDERS/EPD/cat_epd.dbf", "ORDERS/EPD/body_epd.dbf", "ORDERS/EPD/epdct.dbf",
                           "ORDERS/EPD/epdbd.dbf", "Price/Sellers.dbf"}) {
    Result committed = Run({"dbf", (host() / file).string()});
    Result made = Run({"dbf", (fresh / file).string()});
    ASSERT_EQ(made.code, 0) << made.err;
    EXPECT_EQ(committed.out.substr(committed.out.find('\n')), made.out.substr(made.out.find('\n')))
        << file << ": run scripts/make-sample-host.sh";
  }
  EXPECT_EQ(Slurp(host() / "DATA" / "export_epd.ini"), Slurp(fresh / "DATA" / "export_epd.ini"));
}

}  // namespace
