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

int Main(std::vector<std::string> args) {
  CLI::App app{"epd: exports the host's electronic invoices into dBASE files, and edits the export's settings."};
  app.name("epd");
  app.set_version_flag("--version", std::string("epd ") + EPD_VERSION, "print the version and exit");
  app.require_subcommand(1);
  app.fallthrough();

  std::string base;
  std::string replace = "ask";
  auto add_base = [&](CLI::App* command) {
    command->add_option("--base", base, kBaseHelp)->required()->type_name("DIR");
  };
  auto add_replace = [&](CLI::App* command) {
    command
        ->add_option("--replace", replace,
                     "answer to \"invoice already exported, replace?\": ask on the terminal, yes or no")
        ->check(CLI::IsMember({"ask", "yes", "no"}))
        ->capture_default_str();
  };
  std::function<int()> run;

  // export
  std::vector<std::int32_t> ids;
  CLI::App* exp = app.add_subcommand("export", "export single invoices by message number (idMsg)");
  add_base(exp);
  exp->add_option("IDMSG", ids, "message numbers of the invoices")->required();
  add_replace(exp);
  exp->callback([&] { run = [&] { return RunExport(base, ids, replace); }; });

  // export-new
  CLI::App* exp_new =
      app.add_subcommand("export-new", "export every invoice waiting in ORDERS\\EPD\\epdct.dbf (automatic export)");
  add_base(exp_new);
  add_replace(exp_new);
  exp_new->callback([&] { run = [&] { return RunExportNew(base, replace); }; });

  // settings
  std::string section, key, value;
  CLI::App* settings = app.add_subcommand("settings", "show or change the options in DATA\\export_epd.ini");
  add_base(settings);
  settings->require_subcommand(1);
  CLI::App* s_show = settings->add_subcommand("show", "list the general options");
  s_show->callback([&] { run = [&] { return RunSettingsShow(base); }; });
  CLI::App* s_get = settings->add_subcommand("get", "print one value");
  s_get->add_option("SECTION", section, "section, e.g. EPD")->required();
  s_get->add_option("KEY", key, "key, e.g. Export_Dir")->required();
  s_get->callback([&] { run = [&] { return RunSettingsGet(base, section, key); }; });
  CLI::App* s_set = settings->add_subcommand("set", "change one value (Export_Dir is stored as an absolute path)");
  s_set->add_option("SECTION", section, "section, e.g. EPD")->required();
  s_set->add_option("KEY", key, "key, e.g. Export_Dir")->required();
  s_set->add_option("VALUE", value, "the new value")->required();
  s_set->callback([&] { run = [&] { return RunSettingsSet(base, section, key, value); }; });

  // mapping
  std::vector<std::string> assignments;
  CLI::App* mapping = app.add_subcommand("mapping", "show or change which fields are exported, and how");
  add_base(mapping);
  mapping->require_subcommand(1);
  CLI::App* m_show = mapping->add_subcommand("show", "list the 73 fields with their output column, length and type");
  m_show->callback([&] { run = [&] { return RunMappingShow(base); }; });
  CLI::App* m_set = mapping->add_subcommand("set", "change a field's mapping");
  m_set->add_option("KEY", key, "field key, e.g. SENDER")->required();
  m_set
      ->add_option("ASSIGNMENT", assignments,
                   "name=COLUMN, length=N, type=ftString|ftInteger|ftFloat|ftDate|ftBoolean|нет (none)")
      ->required();
  m_set->callback([&] { run = [&] { return RunMappingSet(base, key, assignments); }; });

  // suppliers
  std::int32_t supplier = 0;
  CLI::App* sup = app.add_subcommand("suppliers", "the suppliers whose product codes are replaced by substitute codes");
  add_base(sup);
  sup->require_subcommand(1);
  CLI::App* sup_list = sup->add_subcommand("list", "list them");
  sup_list->callback([&] { run = [&] { return RunSuppliersList(base); }; });
  CLI::App* sup_add = sup->add_subcommand("add", "add a supplier of Price\\Sellers.dbf by its id");
  sup_add->add_option("ID", supplier, "the supplier's id (idSeller)")->required();
  sup_add->callback([&] { run = [&] { return RunSuppliersAdd(base, supplier); }; });
  CLI::App* sup_remove = sup->add_subcommand("remove", "take a supplier off the list");
  sup_remove->add_option("ID", supplier, "the supplier's id (idSeller)")->required();
  sup_remove->callback([&] { run = [&] { return RunSuppliersRemove(base, supplier); }; });

  // dbf
  DbfOptions dbf;
  std::string columns;
  bool structure_only = false, rows_only = false;
  CLI::App* d = app.add_subcommand("dbf", "print dBASE tables: structure and rows, aligned, in UTF-8");
  d->add_option("FILE", dbf.files, "table files (one with --csv)")->required();
  d->add_option("--codepage", dbf.codepage,
                "code page of the texts: auto (from the table's language driver), 1251, 866")
      ->check(CLI::IsMember({"auto", "1251", "866"}))
      ->capture_default_str();
  d->add_option("--columns", columns, "only these columns, in this order (comma-separated)");
  d->add_option("--limit", dbf.limit, "at most this many rows (0: all)")->check(CLI::NonNegativeNumber);
  CLI::Option* structure = d->add_flag("--structure", structure_only, "only the structure");
  d->add_flag("--rows", rows_only, "only the rows");
  std::string separator = ",";
  CLI::Option* csv = d->add_flag("--csv", dbf.csv, "the rows as CSV (RFC 4180) on standard output, for a spreadsheet")
                         ->excludes(structure);
  d->add_option("--csv-codepage", dbf.csv_codepage,
                "coding of the CSV: utf8 (with a byte-order mark), or 1251 for older spreadsheets")
      ->check(CLI::IsMember({"utf8", "1251"}))
      ->capture_default_str()
      ->needs(csv);
  d->add_option("--separator", separator,
                "CSV separator: \",\", \";\" (spreadsheets with Russian regional settings) or tab")
      ->check(CLI::IsMember({",", ";", "tab"}))
      ->capture_default_str()
      ->needs(csv);
  d->callback([&] {
    run = [&] {
      if (!columns.empty()) dbf.columns = CLI::detail::split(columns, ',');
      dbf.separator = separator == "tab" ? '\t' : separator[0];
      if (structure_only && !rows_only) dbf.rows = false;
      if (rows_only && !structure_only) dbf.structure = false;
      return RunDbf(dbf);
    };
  });

  for (CLI::App* sub : {s_show, s_get, s_set, m_show, m_set, sup_list, sup_add, sup_remove}) sub->fallthrough();

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
  if (!run) return kExitUsage;
  try {
    return run();
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
