// epd doctor on copies of the sample host, each spoilt in one way an installation can go wrong.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "test_tool.h"

namespace {

using namespace epd::tool_testing;
namespace fs = std::filesystem;

// The line of the report that has the mark ("PROBLEM", "WARNING", "ok", "note") and the text.
bool Reports(const std::string& report, const std::string& mark, const std::string& text) {
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("  " + mark + " ", 0) == 0 && line.find(text) != std::string::npos) return true;
  return false;
}

bool Alarms(const std::string& report) { return Reports(report, "WARNING", "") || Reports(report, "PROBLEM", ""); }

// A set-up spoilt in one way: the report names what is wrong with its mark, and the exit code
// says whether an export would still work.
struct Spoilt {
  const char* name;
  std::function<void()> spoil;
  const char* mark;
  std::string text;
};

class Doctor : public EpdTool {
 protected:
  void SetUp() override {
    EpdTool::SetUp();
    PointExportAtWork();
  }

  Result Check() { return Run({"doctor", "--base", base()}); }

  fs::path Ini() const { return host() / "DATA" / "export_epd.ini"; }
  fs::path HostTable(const char* name) const { return host() / "ORDERS" / "EPD" / name; }

  void Set(const std::string& section, const std::string& key, const std::string& value) {
    Result r = Run({"settings", "--base", base(), "set", section, key, value});
    ASSERT_EQ(r.code, 0) << r.err;
  }
  void Map(const std::string& key, const std::string& assignment) {
    Result r = Run({"mapping", "--base", base(), "set", key, assignment});
    ASSERT_EQ(r.code, 0) << r.err;
  }
  // Replaces the first line of the settings file that starts with `start` (code page 1251 bytes).
  void ReplaceLine(const std::string& start, const std::string& line) {
    std::string ini = Slurp(Ini());
    std::size_t at = ini.find("\r\n" + start);
    ASSERT_NE(at, std::string::npos) << start;
    at += 2;
    ini.replace(at, ini.find("\r\n", at) - at, line);
    std::ofstream(Ini(), std::ios::binary | std::ios::trunc) << ini;
  }
  void ExportAll() {
    Result r = Run({"export-new", "--base", base(), "--replace", "no"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
  }
  // Another invoice in the host's tables: a header and one line.
  void AddInvoice(const std::string& id, const std::string& sender = "101") {
    for (const char* name : {"cat_epd.dbf", "body_epd.dbf"}) {
      auto table = epd::tables::Table::Open(ProgramForm(HostTable(name)));
      table->Append();
      table->SetAsString("IDMSG", id);
      if (name == std::string("cat_epd.dbf")) {
        table->SetAsString("CATTYP", "OR");
        table->SetAsString("IDSENDER", sender);
      }
      table->Post();
      table->Close();
    }
  }
  // Each case on a fresh copy of the sample host.
  void ExpectFindings(const std::vector<Spoilt>& cases) {
    for (const Spoilt& c : cases) {
      SCOPED_TRACE(c.name);
      TearDown();
      SetUp();
      c.spoil();
      Result r = Check();
      EXPECT_TRUE(Reports(r.out, c.mark, c.text)) << r.out << r.err;
      const bool problem = std::string(c.mark) == "PROBLEM";
      EXPECT_EQ(r.code, problem ? 1 : 0) << r.out;
      if (problem) {
        EXPECT_TRUE(Has(r.out, "an export would not work as set up.")) << r.out;
      }
      EXPECT_EQ(r.err, "");
    }
  }
};

TEST_F(Doctor, TheSampleHostIsInOrderBeforeAndAfterAnExport) {
  ASSERT_EQ(Run({"suppliers", "--base", base(), "add", "102"}).code, 0);
  for (int round = 0; round < 2; ++round) {
    Result r = Check();
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_FALSE(Alarms(r.out)) << r.out;
    EXPECT_TRUE(Has(r.out, "0 problems, 0 warnings: an export would work.")) << r.out;
    EXPECT_EQ(r.err, "");
    ExportAll();
  }
  EXPECT_TRUE(Reports(Check().out, "ok", "2 existing output files have the columns of the current mapping"));
}

TEST_F(Doctor, TheSettingsFile) {
  ExpectFindings(
      {{"no settings file", [&] { fs::remove(Ini()); }, "PROBLEM", "export_epd.ini does not exist"},
       {"saved with a byte-order mark",
        [&] {
          const std::string ini = Slurp(Ini());
          std::ofstream(Ini(), std::ios::binary | std::ios::trunc) << "\xEF\xBB\xBF" << ini;
        },
        "PROBLEM", "saved in UTF-8 with a byte-order mark"},
       {"saved in UTF-8",
        [&] {
          Map("GNVLS", "type=нет");
          const std::string ini = epd::platform::Cp1251ToUtf8(Slurp(Ini()));
          std::ofstream(Ini(), std::ios::binary | std::ios::trunc) << ini;
        },
        "WARNING", "holds Russian text in UTF-8"},
       {"no DATA folder", [&] { fs::remove_all(host() / "DATA"); }, "PROBLEM", "the host has no DATA folder"},
       {"export switched off", [&] { Set("EPD", "bExportEPD", "0"); }, "PROBLEM", "export is switched off"},
       {"no table of new invoices", [&] { fs::remove(HostTable("epdct.dbf")); }, "WARNING",
        "the automatic pass does nothing"}});
}

TEST_F(Doctor, TheExportDirectory) {
  ExpectFindings(
      {{"no export directory", [&] { ReplaceLine("Export_Dir=", "Export_Dir="); }, "PROBLEM",
        "(EPD/Export_Dir) is not set"},
       {"a relative export directory", [&] { ReplaceLine("Export_Dir=", "Export_Dir=export\\"); }, "PROBLEM",
        "\"export\\\" is no full path"},
       {"a missing export directory", [&] { fs::remove(work_ / "export"); }, "PROBLEM",
        "export does not exist: every export stops"},
       {"the host's invoice folder",
        [&] { ReplaceLine("Export_Dir=", "Export_Dir=" + ProgramForm(host() / "ORDERS" / "EPD")); }, "PROBLEM",
        "«Папка экспорта "},
       {"the host's DATA folder", [&] { ReplaceLine("Export_Dir=", "Export_Dir=" + ProgramForm(host() / "DATA")); },
        "WARNING", "is the host's own folder DATA"}});
}

TEST_F(Doctor, TheHostTables) {
  ExpectFindings(
      {{"no invoice table", [&] { fs::remove(HostTable("body_epd.dbf")); }, "PROBLEM", "body_epd.dbf does not exist"},
       {"no column DLVCHN",
        [&] {
          MakeTable(HostTable("cat_epd.dbf"), {{"IDMSG", 'N', 10, 0}, {"CATTYP", 'C', 2, 0}, {"IDSENDER", 'N', 10, 0}},
                    {{{"IDMSG", "240101"}, {"CATTYP", "OR"}, {"IDSENDER", "101"}}});
        },
        "PROBLEM", "cat_epd.dbf has no column DLVCHN, which marks the invoice delivered"},
       {"a mapped column the host lacks",
        [&] {
          MakeTable(HostTable("body_epd.dbf"), {{"IDMSG", 'N', 10, 0}, {"ITEMID", 'C', 40, 0}},
                    {{{"IDMSG", "240101"}, {"ITEMID", "Бинт"}}});
        },
        "WARNING", "has no column SERIES: the output column stays blank"}});
}

TEST_F(Doctor, TheMapping) {
  ExpectFindings({{"a type word of none of the five", [&] { ReplaceLine("type=ftString", "type=ftstring"); }, "WARNING",
                   "«ftstring», which is none of ftString"},
                  {"a type the editor does not offer", [&] { Map("OBTNAM", "type=ftDate"); }, "WARNING",
                   "«ftDate», which its editor does not offer (нет, ftString)"},
                  {"a value the column refuses", [&] { Map("OBTNAM", "type=ftDate"); }, "WARNING",
                   "does not go into its column (D 8: не дата)"},
                  {"two fields in one column", [&] { Map("INVNUM", "name=BILLNUM"); }, "WARNING",
                   "both go into the column «BILLNUM» of cat_epd.dbf: the value of BILLNUM overwrites that of INVNUM"},
                  {"a name longer than a level 4 to 6 file keeps", [&] { Map("SUMTOT", "name=SUMTOTALWITHVAT"); },
                   "WARNING", "keeps only the first 10 characters of its name «SUMTOTALWITHVAT»"},
                  {"the invoice number not exported", [&] { Map("IDMSG", "type=нет"); }, "WARNING",
                   "is not exported: an invoice exported twice is appended twice"},
                  {"a length that cuts", [&] { Map("SENDER", "length=5"); }, "WARNING",
                   "its column is 5 characters wide, but «ООО «Фармлайн-Юг»» of invoice"},
                  {"no field exported",
                   [&] {
                     const std::string ini = Slurp(Ini());
                     std::ofstream(Ini(), std::ios::binary | std::ios::trunc) << ini.substr(0, ini.find("[IDMSG]"));
                   },
                   "PROBLEM", "no field is exported"},
                  {"a writer level no file has", [&] { Set("Settings", "level", "9"); }, "PROBLEM",
                   "no new output file can be made under these settings"}});
}

TEST_F(Doctor, OutputFilesMadeBefore) {
  ExpectFindings({{"an output file without a mapped column",
                   [&] {
                     ExportAll();
                     Map("GNVLS", "name=VITAL");
                   },
                   "WARNING", "body_epd.dbf: made under another mapping, lacks the column(s) VITAL of the mapping"},
                  {"an output file without the invoice number's column",
                   [&] {
                     ExportAll();
                     Map("IDMSG", "name=NUMBER");
                   },
                   "PROBLEM", "cat_epd.dbf has no column NUMBER for the invoice number"},
                  {"an output file that is no table",
                   [&] { std::ofstream(exported("cat_epd.dbf")) << "not a table" << std::string(60, '.'); }, "PROBLEM",
                   "cat_epd.dbf is no dBASE table"}});
}

TEST_F(Doctor, FileNames) {
  ExpectFindings({{"invoices sharing a file",
                   [&] {
                     Set("EPD", "singlefile", "1");
                     Set("EPD", "manyfiles", "1");
                     Set("EPD", "charlength", "4");
                     AddInvoice("250101");
                   },
                   "WARNING", "invoices 240101 and 250101 both go into 0101.dbf"},
                  {"invoice numbers longer than the names",
                   [&] {
                     Set("EPD", "singlefile", "1");
                     Set("EPD", "manyfiles", "1");
                     Set("EPD", "charlength", "3");
                   },
                   "WARNING", "keeps 3 digits of the invoice number, but the host's invoice numbers have up to 6"},
                  {"every invoice into one file",
                   [&] {
                     Set("EPD", "singlefile", "1");
                     Set("EPD", "manyfiles", "1");
                     Set("EPD", "charlength", "256");  // its low 8 bits: 0
                   },
                   "WARNING", "every invoice goes into the one file .dbf"},
                  {"a supplier id that names no folder",
                   [&] {
                     Set("EPD", "seller", "1");
                     AddInvoice("240105", "");
                   },
                   "PROBLEM", "the supplier id (IDSENDER) of invoice(s) 240105 («») cannot name a folder"}});
}

TEST_F(Doctor, Suppliers) {
  const std::string sellers_list = (host() / "DATA" / "SelList.dbf").string();
  ExpectFindings({{"a damaged supplier list", [&] { std::ofstream(sellers_list) << "garbage"; }, "PROBLEM",
                   "SelList.dbf cannot be read"},
                  {"a substitute code -1",
                   [&] {
                     MakeTable(host() / "DATA" / "AtachList.dbf",
                               {{"IDSELLER", 'N', 11, 0}, {"IDTEMP", 'N', 11, 0}, {"CNCODE", 'C', 13, 0}},
                               {{{"IDSELLER", "102"}, {"IDTEMP", "-1"}, {"CNCODE", "A-5521"}}});
                   },
                   "WARNING", "AtachList.dbf holds 1 row with the substitute code -1"},
                  {"a listed supplier without LOCALCOD",
                   [&] {
                     ASSERT_EQ(Run({"suppliers", "--base", base(), "add", "102"}).code, 0);
                     Map("LOCALCOD", "type=нет");
                   },
                   "WARNING", "102 «АО «Медснаб»» are listed for code replacement, but LOCALCOD"}});
}

// The export directory refusing new files for real. Root writes anywhere, so as root the tool
// runs as the user nobody; the host's tables stay readable for it.
TEST_F(Doctor, AnExportDirectoryThatTakesNoFileIsAProblem) {
  std::string as;
  if (::geteuid() == 0) {
    if (std::system("setpriv --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no setpriv to run as another user";
    as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
  }
  fs::permissions(work_ / "export", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  Result r = Run({"doctor", "--base", base()}, as);
  fs::permissions(work_ / "export", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_TRUE(Reports(r.out, "PROBLEM", "export takes no new file: ")) << r.out;
}

}  // namespace
