// Every statement text that the rest of the library sends to the engine, exactly as it is built
// there (leading and doubled blanks, double-quoted full paths with backslashes, bare names in
// the query's directory, Upper and UPPER, named parameters), run against real files.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/text.h"
#include "sql/kept_tables.h"
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
using tables::testing::ScratchDir;

std::vector<std::string> Column(Query& q, const std::string& name) {
  std::vector<std::string> out;
  for (q.First(); !q.Eof(); q.Next()) out.push_back(q.AsString(name));
  return out;
}

// A row appended by another program (here: a handle of its own).
void TestHostAppend(const std::string& path, const std::vector<std::string>& values) {
  auto table = Table::Open(path);
  table->Append();
  for (int i = 0; i < static_cast<int>(values.size()); ++i) table->SetAsStringAt(i, values[i]);
  table->Post();
  table->Close();
}

class HostDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    // The base directory as the host passes it: Windows separators and a closing backslash.
    base_ = dir_.dir() + "\\";
    std::filesystem::create_directories(dir_.Path("ORDERS/EPD"));
    std::filesystem::create_directories(dir_.Path("DATA"));
    std::filesystem::create_directories(dir_.Path("PRICE"));  // spelled in upper case on disk
    orders_epd_ = base_ + "ORDERS\\EPD";
    data_ = base_ + "DATA\\";
    DbfBuilder(0x03)
        .Field("IDMSG", 'N', 11)
        .Field("CatTyp", 'C', 2)
        .Field("idSender", 'N', 11)
        .Field("DLVCHN", 'N', 1)
        .Row({"12345", "IN", "77", "0"})
        .Row({"-5", "DR", "78", "0"})
        .Row({"12345", "IN", "77", "0"})
        .Row({"999", "IN", "79", "0"})
        .Write(dir_.Path("ORDERS/EPD/cat_epd.dbf"));
    DbfBuilder(0x03)
        .Field("IDMSG", 'N', 11)
        .Field("Product", 'C', 30)
        .Row({"12345", "Аспирин"_cp.data()})
        .Row({"999", "Бинт"_cp.data()})
        .Row({"12345", "Вата"_cp.data()}, /*deleted=*/true)
        .Row({"12345", "Грелка"_cp.data()})
        .Write(dir_.Path("ORDERS/EPD/body_epd.dbf"));
    DbfBuilder(0x03)
        .Field("IDSELLER", 'N', 11)
        .Field("SELLER", 'C', 40)
        .Row({"1", "Протек"_cp.data()})
        .Row({"2", "Ёлка-Фарм"_cp.data()})
        .Row({"3", "ЕВРОФАРМ"_cp.data()})
        .Row({"4", "альфа \"Мед\""_cp.data()})
        .Row({"5", "Apteka Plus"})
        .Row({"6", "Катрен"_cp.data()})
        .Write(dir_.Path("PRICE/SELLERS.DBF"));
  }

  ScratchDir dir_;
  RussianFormat ru_;
  std::string base_, orders_epd_, data_;
};

TEST_F(HostDirectory, InvoiceExportStatements) {
  Query header(orders_epd_);
  Query lines(orders_epd_);
  header.SetSql(std::string("SELECT * FROM \"cat_epd.dbf\" WHERE idmsg=") + "12345");
  lines.SetSql(std::string(" SELECT * FROM \"body_epd.dbf\"  WHERE idmsg=") + "12345");
  header.Open();
  lines.Open();
  EXPECT_EQ(header.RecordCount(), 2);
  EXPECT_EQ(header.AsString("CatTyp"), "IN");
  EXPECT_EQ(header.AsInteger("idSender"), 77);
  EXPECT_EQ(Column(lines, "PRODUCT"), (std::vector<std::string>{"Аспирин"_cp.data(), "Грелка"_cp.data()}));

  Query negative(orders_epd_);
  negative.SetSql(std::string("SELECT * FROM \"cat_epd.dbf\" WHERE idmsg=") + "-5");
  negative.Open();
  ASSERT_EQ(negative.RecordCount(), 1);
  EXPECT_EQ(negative.AsString("CATTYP"), "DR");

  // Marking delivered while the header query is still open on the same table.
  Query mark(orders_epd_);
  mark.SetSql(std::string(" UPDATE \"cat_epd.dbf\"  SET DLVCHN=1  WHERE idMsg=") + "12345");
  EXPECT_EQ(mark.ExecSql(), 2);
  auto cat = Table::Open(dir_.Path("ORDERS/EPD/cat_epd.dbf"));
  std::vector<std::string> delivered;
  for (cat->First(); !cat->Eof(); cat->Next()) delivered.push_back(cat->AsString("DLVCHN"));
  EXPECT_EQ(delivered, (std::vector<std::string>{"1", "0", "1", "0"}));
}

// The export's statements with the host's tables kept open between them: a statement reuses the
// open file while nothing but the statements changed it, and sees the file as it is now as soon
// as another program appended to it or put another file in its place.
TEST_F(HostDirectory, KeptTablesServeStatementsUntilTheFileChangesUnderneath) {
  KeptTables kept;
  int opens = 0;
  platform::SetFaultHook([&](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
    opens += op == platform::FileOp::kOpen && path.ends_with("cat_epd.dbf");
    return false;
  });
  auto select = [&](const char* id) {
    Query q(orders_epd_);
    q.SetKeptTables(&kept);
    q.SetSql(std::string("SELECT * FROM \"cat_epd.dbf\" WHERE idmsg=") + id);
    q.Open();
    return q.RecordCount() == 0 ? std::string() : q.AsString("CatTyp") + "/" + q.AsString("DLVCHN");
  };
  auto mark = [&](const char* id) {
    Query q(orders_epd_);
    q.SetKeptTables(&kept);
    q.SetSql(std::string(" UPDATE \"cat_epd.dbf\"  SET DLVCHN=1  WHERE idMsg=") + id);
    return q.ExecSql();
  };
  EXPECT_EQ(select("999"), "IN/0");
  EXPECT_EQ(mark("999"), 1);  // opened again, for writing
  EXPECT_EQ(select("999"), "IN/1");
  EXPECT_EQ(mark("12345"), 2);
  EXPECT_EQ(select("12345"), "IN/1");
  EXPECT_EQ(opens, 2);

  TestHostAppend(dir_.Path("ORDERS/EPD/cat_epd.dbf"), {"777", "OR", "80", "0"});
  opens = 0;  // the other program's own
  EXPECT_EQ(select("777"), "OR/0");
  DbfBuilder(0x03)
      .Field("IDMSG", 'N', 11)
      .Field("CatTyp", 'C', 2)
      .Field("DLVCHN", 'N', 1)
      .Row({"999", "XX", "0"})
      .Write(dir_.Path("ORDERS/EPD/cat_epd.dbf"));
  EXPECT_EQ(select("999"), "XX/0");
  EXPECT_EQ(opens, 2);
  platform::SetFaultHook(nullptr);
}

// The mark either lands on every row of the invoice or on none: a refused second write takes
// back the first. Once the rows are written nothing makes the statement fail.
TEST_F(HostDirectory, AnUpdateChangesAllItsRowsOrNone) {
  const std::string cat = dir_.Path("ORDERS/EPD/cat_epd.dbf");
  const std::string before = tables::testing::ReadBytes(cat);
  int writes = 0;
  platform::SetFaultHook([&](platform::FileOp op, std::string_view, std::uint64_t, std::size_t) {
    return op == platform::FileOp::kWrite && ++writes == 2;
  });
  Query mark(orders_epd_);
  mark.SetSql(" UPDATE \"cat_epd.dbf\"  SET DLVCHN=1  WHERE idMsg=12345");
  EXPECT_THROW(mark.ExecSql(), Error);
  platform::SetFaultHook(nullptr);
  EXPECT_EQ(writes, 3) << "two rows written, the first written back";
  EXPECT_EQ(tables::testing::ReadBytes(cat), before);

  bool written = false;
  platform::SetFaultHook([&](platform::FileOp op, std::string_view, std::uint64_t, std::size_t) {
    written = written || op == platform::FileOp::kWrite;
    return written && op == platform::FileOp::kRead;
  });
  EXPECT_EQ(mark.ExecSql(), 2);
  platform::SetFaultHook(nullptr);
  EXPECT_TRUE(written);
  Query check(orders_epd_);
  check.SetSql("SELECT * FROM \"cat_epd.dbf\" WHERE DLVCHN=1");
  check.Open();
  EXPECT_EQ(check.RecordCount(), 2);
}

TEST_F(HostDirectory, ReplacingAnExportedInvoiceWhileTheOutputTablesAreOpen) {
  const std::string header_path = base_ + "EXPORT\\h12345.dbf";
  std::filesystem::create_directories(dir_.Path("EXPORT"));
  DbfBuilder(0x8B)
      .Field("IDMSG", 'N', 11)
      .Field("NUM", 'C', 10)
      .Row({"12345", "old"})
      .Row({"7", "keep"})
      .Write(dir_.Path("EXPORT/h12345.dbf"));
  auto out = Table::Open(header_path);
  ASSERT_TRUE(out->Locate("IDMSG", {12345}));
  Query del;
  del.SetSql(" DELETE FROM \"" + header_path + "\" WHERE " + "IDMSG" + "=" + "12345");
  EXPECT_EQ(del.ExecSql(), 1);
  out->Append();  // the handle opened before the delete appends after every record
  out->SetAsString("IDMSG", "12345");
  out->SetAsString("NUM", "new");
  out->Post();
  std::vector<std::string> nums;
  for (out->First(); !out->Eof(); out->Next()) nums.push_back(out->AsString("NUM"));
  EXPECT_EQ(nums, (std::vector<std::string>{"keep", "new"}));
  EXPECT_EQ(out->PhysicalRecordCount(), 3u) << "deleted records stay counted";
}

TEST_F(HostDirectory, SupplierCodeTableStatements) {
  FieldDefs defs;
  defs.Add("idSeller", FieldType::kInteger);
  defs.Add("idTemp", FieldType::kInteger);
  defs.Add("CnCode", FieldType::kString, 13);
  CreateTable(data_ + "AtachList.dbf", defs);

  Query insert;
  insert.SetSql(" INSERT INTO \"" + data_ + "AtachList.dbf\"" + "(idSeller,idTemp,CnCode) " +
                " VALUES(:idSeller,:idTemp,:CnCode) ");
  insert.SetParam("idSeller", 77);
  insert.SetParam("idTemp", 873187034);
  insert.SetParam("CnCode", std::string("123456789"));
  EXPECT_EQ(insert.ExecSql(), 1);
  insert.SetParam("idTemp", 0);
  insert.SetParam("CnCode", std::string(""));
  EXPECT_EQ(insert.ExecSql(), 1);

  auto codes = Table::Open(data_ + "AtachList.dbf");
  ASSERT_TRUE(codes->Locate("idseller;cncode", {77, std::string("123456789")}));
  EXPECT_EQ(codes->AsInteger("idTemp"), 873187034);
  ASSERT_TRUE(codes->Locate("idseller;cncode", {77, std::string("")}));
  EXPECT_EQ(codes->AsInteger("idTemp"), 0);
  EXPECT_FALSE(codes->Locate("idseller;cncode", {78, std::string("123456789")}));
}

TEST_F(HostDirectory, SupplierListDialogStatements) {
  FieldDefs defs;
  defs.Add("idSeller", FieldType::kInteger);
  defs.Add("Seller", FieldType::kString, 30);
  CreateTable(data_ + "SelList.dbf", defs);
  const std::string list_file = "SelList.dbf";
  const std::string sellers = base_ + "Price\\Sellers.dbf";
  auto list = [&] { return " SELECT * FROM \"" + data_ + list_file + "\"" + " ORDER BY Seller "; };
  auto choice = [&] {
    return " SELECT *  FROM \"" + sellers + "\"" + " " + " WHERE not idSeller in " + "     ( SELECT idSeller FROM " +
           "\"" + data_ + list_file + "\"" + ") " + " ORDER BY Seller ";
  };
  auto list_search = [&](const std::string& text) {
    return " SELECT * FROM \"" + data_ + list_file + "\"" + " WHERE Upper(Seller) LIKE '%" + text + "%' " +
           " ORDER BY Seller ";
  };
  auto choice_search = [&](const std::string& text) {
    return " SELECT *  FROM \"" + sellers + "\"" + " " + " WHERE UPPER(Seller) LIKE '%" + text +
           "%' AND (not idSeller in " + "     ( SELECT idSeller FROM " + "\"" + data_ + list_file + "\"" + ")) " +
           " ORDER BY Seller ";
  };
  auto add = [&](int id, const std::string& name) {
    Query q;
    q.SetSql(" INSERT INTO \"" + data_ + list_file + "\"" + "(idSeller,Seller) " + " VALUES(:idSeller,:Seller) ");
    q.SetParam("idSeller", id);
    q.SetParam("Seller", name);
    return q.ExecSql();
  };
  auto names = [](const std::string& sql) {
    Query q;
    q.SetSql(sql);
    q.Open();
    return Column(q, "Seller");
  };

  EXPECT_TRUE(names(list()).empty());
  EXPECT_EQ(names(choice()), (std::vector<std::string>{"Apteka Plus", "альфа \"Мед\""_cp.data(), "ЕВРОФАРМ"_cp.data(),
                                                       "Ёлка-Фарм"_cp.data(), "Катрен"_cp.data(), "Протек"_cp.data()}));
  EXPECT_EQ(add(2, "Ёлка-Фарм"_cp.data()), 1);
  EXPECT_EQ(add(6, "Катрен"_cp.data()), 1);
  EXPECT_EQ(add(1, "Протек"_cp.data()), 1);
  EXPECT_EQ(names(list()), (std::vector<std::string>{"Ёлка-Фарм"_cp.data(), "Катрен"_cp.data(), "Протек"_cp.data()}));
  EXPECT_EQ(names(choice()),
            (std::vector<std::string>{"Apteka Plus", "альфа \"Мед\""_cp.data(), "ЕВРОФАРМ"_cp.data()}));
  EXPECT_EQ(names(list_search("ФАРМ"_cp.data())), (std::vector<std::string>{"Ёлка-Фарм"_cp.data()}));
  EXPECT_EQ(names(list_search("ЁЛ"_cp.data())), (std::vector<std::string>{"Ёлка-Фарм"_cp.data()}));
  EXPECT_EQ(names(list_search("")), names(list()));
  EXPECT_EQ(names(choice_search("ФАРМ"_cp.data())), (std::vector<std::string>{"ЕВРОФАРМ"_cp.data()}));
  EXPECT_EQ(names(choice_search("\"МЕД"_cp.data())), (std::vector<std::string>{"альфа \"Мед\""_cp.data()}));
  EXPECT_EQ(names(choice_search("PLUS")), (std::vector<std::string>{"Apteka Plus"}));

  Query remove;
  remove.SetSql("DELETE FROM \"" + data_ + list_file + "\"" + " WHERE idSeller=:idSeller ");
  remove.SetParam("idSeller", 6);
  EXPECT_EQ(remove.ExecSql(), 1);
  EXPECT_EQ(names(list()), (std::vector<std::string>{"Ёлка-Фарм"_cp.data(), "Протек"_cp.data()}));
  EXPECT_EQ(names(choice_search("КАТ"_cp.data())), (std::vector<std::string>{"Катрен"_cp.data()}));
}

}  // namespace
}  // namespace epd::sql
