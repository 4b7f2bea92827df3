// epd suppliers: the list of suppliers whose product codes are replaced (DATA\SelList.dbf),
// through the same tables and statements as the supplier list dialog.
#include <cstdio>
#include <string>

#include "cli_support.h"
#include "commands.h"
#include "export/library_state.h"
#include "platform/files.h"
#include "platform/text.h"
#include "sql/query.h"
#include "suppliers/sel_statements.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"
#include "text_table.h"

namespace epd::tool {
namespace {

std::string ListPath() { return exporter::State().places.data_directory + suppliers::kSupplierListFile; }

// Where the dialog's statements look: the list in the data directory, the host's directory of
// suppliers in its base.
suppliers::SelPlaces Places() {
  const exporter::Places& places = exporter::State().places;
  return suppliers::SelPlaces{places.data_directory, places.base_directory, std::string(suppliers::kSupplierListFile)};
}

suppliers::SupplierTables Tables() { return suppliers::SupplierTables(exporter::State().places.data_directory); }

template <class Step>
auto Engine(Step step) {
  try {
    return step();
  } catch (const Failure&) {
    throw;
  } catch (const std::exception& e) {
    throw Failure{ToUtf8(e.what())};
  }
}

}  // namespace

int RunSuppliersList(const std::string& base) {
  OpenHost(base);
  if (!platform::FileExists(ListPath())) {
    std::printf("no supplier is listed (%s does not exist yet)\n", DisplayPath(ListPath()).c_str());
    return kExitOk;
  }
  TextTable table({"ID", "SUPPLIER"});
  table.AlignRight(0);
  Engine([&] {
    sql::Query list;
    list.SetSql(suppliers::ListStatement(Places()));
    list.Open();
    for (list.First(); !list.Eof(); list.Next())
      table.AddRow({ToUtf8(list.AsString("idSeller")), Printable(ToUtf8(list.AsString("Seller")))});
    list.Close();
  });
  std::fputs(table.Render().c_str(), stdout);
  std::printf("%zu supplier(s) listed\n", table.rows());
  return kExitOk;
}

int RunSuppliersAdd(const std::string& base, std::int32_t id) {
  const std::string host = OpenHost(base);
  const std::string directory = host + "Price\\Sellers.dbf";
  if (!platform::FileExists(directory))
    throw Failure{"the host's supplier directory " + DisplayPath(directory) + " does not exist"};
  const std::string name = Engine([&] {
    auto sellers = tables::Table::Open(directory);
    if (!sellers->Locate("idSeller", {tables::Value(id)}))
      throw Failure{"no supplier with id " + std::to_string(id) + " in " + DisplayPath(directory)};
    std::string seller = sellers->AsString("Seller");
    sellers->Close();
    return seller;
  });
  if (!Tables().CreateSelList(suppliers::kSupplierListFile))
    throw Failure{ToUtf8("Не удалось создать файл поставщиков"_cp) + ": " + DisplayPath(ListPath())};
  if (Engine([&] { return Tables().SellerInTable(id, suppliers::kSupplierListFile); })) {
    std::printf("%d %s is already listed\n", id, ToUtf8(name).c_str());
    return kExitOk;
  }
  Engine([&] {
    sql::Query add;
    add.SetSql(suppliers::AddStatement(Places()));
    add.SetParam("idSeller", id);
    add.SetParam("Seller", name);
    add.ExecSql();
  });
  std::printf("listed %d %s\n", id, ToUtf8(name).c_str());
  return kExitOk;
}

int RunSuppliersRemove(const std::string& base, std::int32_t id) {
  OpenHost(base);
  if (!platform::FileExists(ListPath())) throw Failure{"supplier " + std::to_string(id) + " is not listed"};
  const int removed = Engine([&] {
    sql::Query remove;
    remove.SetSql(suppliers::RemoveStatement(Places()));
    remove.SetParam("idSeller", id);
    return remove.ExecSql();
  });
  if (removed == 0) throw Failure{"supplier " + std::to_string(id) + " is not listed"};
  std::printf("removed %d from the list\n", id);
  return kExitOk;
}

}  // namespace epd::tool
