// epd: the invoice export on the command line. Goes through the same entry points as the host
// program (InitializeEPD, ExportEPD, ExportNewEPD) and edits the same settings and tables.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli_support.h"
#include "commands.h"
#include "terminal.h"

namespace epd::tool {
namespace {

constexpr const char* kBaseHelp = "the host's base directory (holding ORDERS\\EPD and DATA)";

// What the command line gives, and the command it chose. Each command's callback sets `run`.
struct Arguments {
  std::string base;
  std::string replace = "ask";
  std::vector<std::int32_t> ids;
  std::string section, key, value;
  std::vector<std::string> assignments;
  std::int32_t supplier = 0;
  DbfOptions dbf;
  std::string columns;
  std::string separator = ",";
  bool structure_only = false, rows_only = false;
  std::function<int()> run;
  std::vector<CLI::App*> fallthrough;  // the second-level commands, which take their parent's options
};

void AddBase(CLI::App* command, Arguments& a) {
  command->add_option("--base", a.base, kBaseHelp)->required()->type_name("DIR");
}

void AddReplace(CLI::App* command, Arguments& a) {
  command
      ->add_option("--replace", a.replace,
                   "answer to \"invoice already exported, replace?\": ask on the terminal, yes or no")
      ->check(CLI::IsMember({"ask", "yes", "no"}))
      ->capture_default_str();
}

void AddExportCommands(CLI::App& app, Arguments& a) {
  CLI::App* exp = app.add_subcommand("export", "export single invoices by message number (idMsg)");
  AddBase(exp, a);
  exp->add_option("IDMSG", a.ids, "message numbers of the invoices")->required();
  AddReplace(exp, a);
  exp->callback([&a] { a.run = [&a] { return RunExport(a.base, a.ids, a.replace); }; });

  CLI::App* exp_new =
      app.add_subcommand("export-new", "export every invoice waiting in ORDERS\\EPD\\epdct.dbf (automatic export)");
  AddBase(exp_new, a);
  AddReplace(exp_new, a);
  exp_new->callback([&a] { a.run = [&a] { return RunExportNew(a.base, a.replace); }; });
}

void AddSettingsCommands(CLI::App& app, Arguments& a) {
  CLI::App* settings = app.add_subcommand("settings", "show or change the options in DATA\\export_epd.ini");
  AddBase(settings, a);
  settings->require_subcommand(1);
  CLI::App* s_show = settings->add_subcommand("show", "list the general options");
  s_show->callback([&a] { a.run = [&a] { return RunSettingsShow(a.base); }; });
  CLI::App* s_get = settings->add_subcommand("get", "print one value");
  s_get->add_option("SECTION", a.section, "section, e.g. EPD")->required();
  s_get->add_option("KEY", a.key, "key, e.g. Export_Dir")->required();
  s_get->callback([&a] { a.run = [&a] { return RunSettingsGet(a.base, a.section, a.key); }; });
  CLI::App* s_set = settings->add_subcommand("set", "change one value (Export_Dir is stored as an absolute path)");
  s_set->add_option("SECTION", a.section, "section, e.g. EPD")->required();
  s_set->add_option("KEY", a.key, "key, e.g. Export_Dir")->required();
  s_set->add_option("VALUE", a.value, "the new value")->required();
  s_set->callback([&a] { a.run = [&a] { return RunSettingsSet(a.base, a.section, a.key, a.value); }; });

  CLI::App* mapping = app.add_subcommand("mapping", "show or change which fields are exported, and how");
  AddBase(mapping, a);
  mapping->require_subcommand(1);
  CLI::App* m_show = mapping->add_subcommand("show", "list the 73 fields with their output column, length and type");
  m_show->callback([&a] { a.run = [&a] { return RunMappingShow(a.base); }; });
  CLI::App* m_set = mapping->add_subcommand("set", "change a field's mapping");
  m_set->add_option("KEY", a.key, "field key, e.g. SENDER")->required();
  m_set
      ->add_option("ASSIGNMENT", a.assignments,
                   "name=COLUMN, length=N, type=ftString|ftInteger|ftFloat|ftDate|ftBoolean|нет (none)")
      ->required();
  m_set->callback([&a] { a.run = [&a] { return RunMappingSet(a.base, a.key, a.assignments); }; });
  a.fallthrough.insert(a.fallthrough.end(), {s_show, s_get, s_set, m_show, m_set});
}

void AddSupplierCommands(CLI::App& app, Arguments& a) {
  CLI::App* sup = app.add_subcommand("suppliers", "the suppliers whose product codes are replaced by substitute codes");
  AddBase(sup, a);
  sup->require_subcommand(1);
  CLI::App* sup_list = sup->add_subcommand("list", "list them");
  sup_list->callback([&a] { a.run = [&a] { return RunSuppliersList(a.base); }; });
  CLI::App* sup_add = sup->add_subcommand("add", "add a supplier of Price\\Sellers.dbf by its id");
  sup_add->add_option("ID", a.supplier, "the supplier's id (idSeller)")->required();
  sup_add->callback([&a] { a.run = [&a] { return RunSuppliersAdd(a.base, a.supplier); }; });
  CLI::App* sup_remove = sup->add_subcommand("remove", "take a supplier off the list");
  sup_remove->add_option("ID", a.supplier, "the supplier's id (idSeller)")->required();
  sup_remove->callback([&a] { a.run = [&a] { return RunSuppliersRemove(a.base, a.supplier); }; });
  a.fallthrough.insert(a.fallthrough.end(), {sup_list, sup_add, sup_remove});
}

void AddDoctorCommand(CLI::App& app, Arguments& a) {
  CLI::App* doctor = app.add_subcommand(
      "doctor",
      "check the set-up as an export meets it: what is wrong and what to do (exit 1 when an export would "
      "not work)");
  AddBase(doctor, a);
  doctor->callback([&a] { a.run = [&a] { return RunDoctor(a.base); }; });
}

void AddDbfCommand(CLI::App& app, Arguments& a) {
  CLI::App* d = app.add_subcommand("dbf", "print dBASE tables: structure and rows, aligned, in UTF-8");
  d->add_option("FILE", a.dbf.files, "table files (one with --csv)")->required();
  d->add_option("--codepage", a.dbf.codepage,
                "code page of the texts: auto (from the table's language driver), 1251, 866")
      ->check(CLI::IsMember({"auto", "1251", "866"}))
      ->capture_default_str();
  d->add_option("--columns", a.columns, "only these columns, in this order (comma-separated)");
  d->add_option("--limit", a.dbf.limit, "at most this many rows (0: all)")->check(CLI::NonNegativeNumber);
  CLI::Option* structure = d->add_flag("--structure", a.structure_only, "only the structure");
  d->add_flag("--rows", a.rows_only, "only the rows");
  CLI::Option* csv = d->add_flag("--csv", a.dbf.csv, "the rows as CSV (RFC 4180) on standard output, for a spreadsheet")
                         ->excludes(structure);
  d->add_option("--csv-codepage", a.dbf.csv_codepage,
                "coding of the CSV: utf8 (with a byte-order mark), or 1251 for older spreadsheets")
      ->check(CLI::IsMember({"utf8", "1251"}))
      ->capture_default_str()
      ->needs(csv);
  d->add_option("--separator", a.separator,
                "CSV separator: \",\", \";\" (spreadsheets with Russian regional settings) or tab")
      ->check(CLI::IsMember({",", ";", "tab"}))
      ->capture_default_str()
      ->needs(csv);
  d->callback([&a] {
    a.run = [&a] {
      if (!a.columns.empty()) a.dbf.columns = CLI::detail::split(a.columns, ',');
      a.dbf.separator = a.separator == "tab" ? '\t' : a.separator[0];
      if (a.structure_only && !a.rows_only) a.dbf.rows = false;
      if (a.rows_only && !a.structure_only) a.dbf.structure = false;
      return RunDbf(a.dbf);
    };
  });
}

int Main(std::vector<std::string> args) {
  CLI::App app{"epd: exports the host's electronic invoices into dBASE files, and edits the export's settings."};
  app.name("epd");
  app.set_version_flag("--version", std::string("epd ") + EPD_VERSION, "print the version and exit");
  app.require_subcommand(1);
  app.fallthrough();
  Arguments a;
  AddExportCommands(app, a);
  AddSettingsCommands(app, a);
  AddSupplierCommands(app, a);
  AddDoctorCommand(app, a);
  AddDbfCommand(app, a);
  for (CLI::App* sub : a.fallthrough) sub->fallthrough();

  std::reverse(args.begin(), args.end());
  args.pop_back();  // the program's name
  try {
    app.parse(args);
  } catch (const CLI::Success& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "epd: %s\nRun with --help for more information.\n", e.what());
    return kExitUsage;
  }
  if (!a.run) return kExitUsage;
  try {
    return a.run();
  } catch (const Failure& f) {
    Console::Get().Error(f.message);
    return f.exit_code;
  } catch (const std::exception& e) {
    Console::Get().Error(ToUtf8(e.what()));
    return kExitFailed;
  }
}

}  // namespace
}  // namespace epd::tool

int main(int argc, char** argv) {
  epd::tool::PrepareConsole();
  return epd::tool::Main(epd::tool::Utf8Arguments(argc, argv));
}
