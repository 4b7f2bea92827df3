// The engine on Windows: paths with drive letters and backslashes, tables kept open by one handle
// while statements change them through another, the library's statement texts.
#include <gtest/gtest.h>

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

TEST(EngineWinTest, SupplierListStatementsWhileATableHandleIsOpen) {
  RussianFormat ru;
  ScratchDir dir;
  const std::string data = dir.dir() + "\\";
  FieldDefs defs;
  defs.Add("idSeller", FieldType::kInteger);
  defs.Add("Seller", FieldType::kString, 30);
  CreateTable(data + "SelList.dbf", defs);
  auto open = Table::Open(data + "SelList.dbf");

  Query add;
  add.SetSql(" INSERT INTO \"" + data + "SelList.dbf\"" + "(idSeller,Seller) " + " VALUES(:idSeller,:Seller) ");
  for (int id : {3, 1, 2}) {
    add.SetParam("idSeller", id);
    add.SetParam("Seller", S(id == 1 ? "Ёлка"_cp : id == 2 ? "Альфа"_cp : "Ель"_cp));
    EXPECT_EQ(add.ExecSql(), 1);
  }
  Query list;
  list.SetSql(" SELECT * FROM \"" + data + "SelList.dbf\"" + " WHERE Upper(Seller) LIKE '%" + S("Л"_cp) + "%' " +
              " ORDER BY Seller ");
  list.Open();
  std::vector<int> ids;
  for (list.First(); !list.Eof(); list.Next()) ids.push_back(list.AsInteger("idSeller"));
  EXPECT_EQ(ids, (std::vector<int>{2, 1, 3}));  // Альфа, Ёлка, Ель

  Query remove;
  remove.SetSql("DELETE FROM \"" + data + "SelList.dbf\"" + " WHERE idSeller=:idSeller ");
  remove.SetParam("idSeller", 3);
  EXPECT_EQ(remove.ExecSql(), 1);

  open->Append();
  open->SetAsString("idSeller", "4");
  open->Post();
  std::vector<int> seen;
  for (open->First(); !open->Eof(); open->Next()) seen.push_back(open->AsInteger("IDSELLER"));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(open->PhysicalRecordCount(), 4u);
}

TEST(EngineWinTest, HostTablesByBareNameInTheQueryDirectory) {
  ScratchDir dir;
  DbfBuilder(0x03)
      .Field("IDMSG", 'N', 11)
      .Field("DLVCHN", 'N', 1)
      .Row({"5", "0"})
      .Row({"6", "0"})
      .Write(dir.Path("CAT_EPD.DBF"));
  Query mark(dir.dir());
  mark.SetSql(" UPDATE \"cat_epd.dbf\"  SET DLVCHN=1  WHERE idMsg=6");
  EXPECT_EQ(mark.ExecSql(), 1);
  Query header(dir.dir());
  header.SetSql("SELECT * FROM \"cat_epd.dbf\" WHERE idmsg=6");
  header.Open();
  ASSERT_EQ(header.RecordCount(), 1);
  EXPECT_EQ(header.AsString("DLVCHN"), "1");
}

}  // namespace
}  // namespace epd::sql
