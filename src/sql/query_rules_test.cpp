// The rules of the local SQL: conditions, NULLs, collation, ordering, changes and errors.
#include <gtest/gtest.h>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/text.h"
#include "sql/query.h"
#include "tables/dbf_test_util.h"
#include "tables/table.h"

using epd::operator""_cp;

namespace epd::sql {
namespace {

using tables::Table;
using tables::Value;

using tables::testing::DbfBuilder;
using tables::testing::RussianFormat;
using tables::testing::S;
using tables::testing::ScratchDir;

class QueryRules : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.Path("t.dbf");
    DbfBuilder(0x03)
        .Field("ID", 'N', 5)
        .Field("NAME", 'C', 20)
        .Field("QTY", 'N', 8, 2)
        .Field("DT", 'D', 8)
        .Field("OK", 'L', 1)
        .Field("CODE", 'C', 5)
        .Row({"1", S("Аптека"_cp), "10.50", "20240101", "T", "A1"})
        .Row({"2", S("аптека"_cp), "2.00", "20240215", "F", "a1"})
        .Row({"3", S("Ёж"_cp), "-3.00", "", "T", ""})
        .Row({"4", S("Ель"_cp), "0.00", "20231231", "?", "B_2"})
        .Row({"5", "", "", "20240101", "F", "b%2"})
        .Row({"6", "Zeta", "100.00", "", "T", "x"})
        .Row({"7", "Deleted", "1.00", "20240101", "T", "A1"}, /*deleted=*/true)
        .Write(path_);
  }

  std::vector<int> Ids(const std::string& tail, const std::vector<std::pair<std::string, Value>>& params = {}) {
    Query q(dir_.dir());
    q.SetSql("SELECT ID FROM \"t.dbf\" " + tail);
    for (const auto& [n, v] : params) q.SetParam(n, v);
    q.Open();
    std::vector<int> ids;
    for (q.First(); !q.Eof(); q.Next()) ids.push_back(q.AsInteger("ID"));
    EXPECT_EQ(q.RecordCount(), static_cast<int>(ids.size()));
    return ids;
  }

  ScratchDir dir_;
  RussianFormat ru_;
  std::string path_;
};

TEST_F(QueryRules, Conditions) {
  struct Case {
    std::string where;
    std::vector<int> ids;
  };
  const Case cases[] = {
      {"ID = 3", {3}},
      {"ID <> 3", {1, 2, 4, 5, 6}},
      {"ID != 3", {1, 2, 4, 5, 6}},
      {"QTY > 2", {1, 6}},
      {"QTY >= 2", {1, 2, 6}},
      {"QTY < 0", {3}},
      {"QTY <= 0", {3, 4}},
      {"QTY = 0", {4}},  // the blank QTY of 5 is null, not 0
      {"QTY IS NULL", {5}},
      {"NAME IS NOT NULL", {1, 2, 3, 4, 6}},
      {S("NAME = 'Аптека'"_cp), {1}},     // case-sensitive
      {S("NAME = 'Аптека   '"_cp), {1}},  // trailing blanks do not count
      {S("NAME <> 'Аптека'"_cp), {2, 3, 4, 6}},
      {S("UPPER(NAME) = 'АПТЕКА'"_cp), {1, 2}},
      {S("Upper(NAME) = 'ЁЖ'"_cp), {3}},
      {S("LOWER(NAME) = 'ёж'"_cp), {3}},
      {S("NAME LIKE 'А%'"_cp), {1}},
      {S("NAME LIKE '%тека'"_cp), {1, 2}},
      {S("NAME LIKE '_ль'"_cp), {4}},
      {S("NAME NOT LIKE '%тека'"_cp), {3, 4, 6}},
      {"CODE LIKE 'b\\%2' ESCAPE '\\'", {5}},
      {"CODE LIKE 'B__'", {4}},
      {"CODE LIKE '%'", {1, 2, 4, 5, 6}},
      {"ID IN (1, 3, 5)", {1, 3, 5}},
      {"ID NOT IN (1, 3, 5)", {2, 4, 6}},
      {"NOT ID IN (1,3,5)", {2, 4, 6}},
      {"ID IN (SELECT ID FROM \"t.dbf\" WHERE OK = 'T')", {1, 3, 6}},
      {"not ID in ( SELECT ID FROM \"t.dbf\" WHERE QTY > 1)", {3, 4, 5}},
      {"QTY BETWEEN 0 AND 10.5", {1, 2, 4}},
      {"ID = 1 OR ID = 2 AND QTY > 5", {1}},
      {"(ID = 1 OR ID = 2) AND QTY > 1", {1, 2}},
      {"NOT (ID > 2)", {1, 2}},
      {"DT = '01.01.2024'", {1, 5}},
      {"DT > '31.12.2023'", {1, 2, 5}},
      {"OK = 'T'", {1, 3, 6}},
      {"ID = -QTY", {3}},
      {"ID * 2 = 8", {4}},
      {"ID - 1 = 4 / 2", {3}},
      {"ID = '3'", {3}},
      {"ID=-5", {}},
      {S("NAME > 'Ё'"_cp), {3, 4}},
      {S("NAME || CODE = 'ЕльB_2'"_cp), {4}},
      {"TRIM(CODE) = 'x'", {6}},
      {"ID = :p", {2}},
      {"NAME = :name", {6}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Ids("WHERE " + c.where, {{"p", 2}, {"NAME", std::string("Zeta")}}), c.ids) << c.where;
}

TEST_F(QueryRules, Ordering) {
  struct Case {
    std::string order;
    std::vector<int> ids;
  };
  const Case cases[] = {
      {"ORDER BY NAME", {5, 6, 2, 1, 3, 4}},  // null first, Latin, then Russian order, Ё beside Е
      {"ORDER BY NAME DESC", {4, 3, 1, 2, 6, 5}},
      {"ORDER BY name ASC", {5, 6, 2, 1, 3, 4}},
      {"ORDER BY OK, ID DESC", {4, 5, 2, 6, 3, 1}},
      {"ORDER BY QTY", {5, 3, 4, 2, 1, 6}},
      {"ORDER BY DT DESC, ID", {2, 1, 5, 4, 3, 6}},
      {"ORDER BY 1 DESC", {6, 5, 4, 3, 2, 1}},
      {"ORDER BY UPPER(CODE), ID", {3, 1, 2, 5, 4, 6}},
  };
  for (const Case& c : cases) EXPECT_EQ(Ids(c.order), c.ids) << c.order;
}

TEST_F(QueryRules, SelectListsAndDistinct) {
  Query q(dir_.dir());
  q.SetSql("SELECT DISTINCT OK, UPPER(CODE) AS UC FROM \"t.dbf\" WHERE ID < 6 ORDER BY UC");
  q.Open();
  ASSERT_EQ(q.FieldCount(), 2);
  EXPECT_EQ(q.FieldName(0), "OK");
  EXPECT_EQ(q.FieldName(1), "UC");
  std::vector<std::string> rows;
  for (q.First(); !q.Eof(); q.Next()) rows.push_back(q.AsString("ok") + "/" + q.AsString("uc"));
  EXPECT_EQ(rows, (std::vector<std::string>{"True/", "True/A1", "False/A1", "False/B%2", "/B_2"}));
  q.MoveTo(2);
  EXPECT_EQ(q.RecNo(), 2);
  EXPECT_EQ(q.AsString("UC"), "A1");
  EXPECT_THROW(q.AsString("NAME"), Error);
}

TEST_F(QueryRules, ChangesAreSeenByATableOpenedBefore) {
  auto t = Table::Open(path_);
  Query q(dir_.dir());
  q.SetSql("INSERT INTO \"t.dbf\" VALUES (8, 'Новый', 1.5, '02.03.2024', 'T', 'N1')"_cp.data());
  EXPECT_EQ(q.ExecSql(), 1);
  q.SetSql("UPDATE \"t.dbf\" SET QTY = QTY + 1, CODE = 'U' WHERE ID = 2 OR ID = 8");
  EXPECT_EQ(q.ExecSql(), 2);
  q.SetSql("DELETE FROM \"t.dbf\" WHERE ID <= 3");
  EXPECT_EQ(q.ExecSql(), 3);
  std::vector<std::string> rows;
  for (t->First(); !t->Eof(); t->Next())
    rows.push_back(t->AsString("ID") + ":" + t->AsString("QTY") + ":" + t->AsString("CODE"));
  EXPECT_EQ(rows, (std::vector<std::string>{"4:0:B_2", "5::b%2", "6:100:x", "8:2,5:U"}));
  EXPECT_EQ(t->PhysicalRecordCount(), 8u);
  q.SetSql("DELETE FROM \"t.dbf\"");
  EXPECT_EQ(q.ExecSql(), 4);
  t->First();
  EXPECT_TRUE(t->Eof());
}

TEST_F(QueryRules, IdentifiersLiteralsAndComments) {
  DbfBuilder(0x03)
      .Field(S("ЦЕНА"_cp), 'N', 8, 2)
      .Field("NAME_2", 'C', 12)
      .Row({"1.50", "O'Brien"})
      .Row({"3.00", "x"})
      .Write(dir_.Path("cyr.dbf"));
  Query q(dir_.dir());
  q.SetSql(
      S("select name_2, Цена * 2 AS двойная FROM \"cyr.dbf\" -- a comment\n"
        "where цена > .5 /* another */ and NAME_2 = 'O''Brien' order by ЦЕНА desc"_cp));
  q.Open();
  ASSERT_EQ(q.RecordCount(), 1);
  EXPECT_EQ(q.AsString("NAME_2"), "O'Brien");
  EXPECT_EQ(q.AsString(S("ДВОЙНАЯ"_cp)), "3");
  EXPECT_EQ(q.FieldName(1), S("двойная"_cp));
}

TEST_F(QueryRules, RefusedValuesNameColumnAndValueAndChangeNothing) {
  const std::string before = tables::testing::ReadBytes(path_);
  const char* statements[] = {
      "INSERT INTO \"t.dbf\" (ID, QTY) VALUES (9, 'много')",
      "INSERT INTO \"t.dbf\" (ID) VALUES (123456)",
      "UPDATE \"t.dbf\" SET DT = 'завтра' WHERE ID > 1",
      "UPDATE \"t.dbf\" SET ID = ID * 100000",
  };
  for (const char* utf8 : statements) {
    Query q(dir_.dir());
    q.SetSql(platform::Utf8ToCp1251(utf8));
    try {
      q.ExecSql();
      ADD_FAILURE() << utf8;
    } catch (const Error& e) {
      const std::string m = e.what();
      EXPECT_NE(m.find("t.dbf"), std::string::npos) << utf8;
      EXPECT_NE(m.find("Значение"_cp), std::string::npos) << utf8;
    }
    EXPECT_EQ(tables::testing::ReadBytes(path_), before) << utf8;
  }
}

TEST_F(QueryRules, ErrorsPointAtTheirPosition) {
  struct Case {
    std::string sql;
    std::string at;  // the text the reported position must point at
  };
  const Case cases[] = {
      {"SELEC * FROM \"t.dbf\"", "SELEC"},
      {"SELECT * FORM \"t.dbf\"", "FORM"},
      {"SELECT * FROM \"t.dbf\" WHERE NOSUCH = 1", "NOSUCH"},
      {"SELECT * FROM \"t.dbf\" WHERE ID = 'abc", "'abc"},
      {"SELECT * FROM \"t.dbf\" WHERE ID = :missing", ":missing"},
      {"SELECT * FROM \"t.dbf\" WHERE ID = 1 garbage", "garbage"},
      {"SELECT * FROM \"t.dbf\" WHERE ID = FOO(1)", "FOO"},
      {"SELECT * FROM \"t.dbf\" WHERE ID @ 1", "@"},
      {"SELECT * FROM \"t.dbf\" WHERE ID IN (1, 2", ""},
      {"SELECT * FROM \"t.dbf\" ORDER BY 9", "9"},
      {"SELECT * FROM \"t.dbf WHERE ID = 1", "\"t.dbf"},
      {"INSERT INTO \"t.dbf\" (ID) VALUES (1, 2)", "VALUES"},
      {"INSERT INTO \"t.dbf\" (ID) VALUES (ID)", "ID)"},
      {"UPDATE \"t.dbf\" SET NOPE = 1", "NOPE"},
      {"DELETE \"t.dbf\"", "\"t.dbf\""},
      {
          "SELECT * FROM \"t.dbf\" WHERE NOT ID = 1 NOT",
          "NOT",
      },
      {"SELECT * FROM \"t.dbf\" WHERE ID IN (SELECT ID, NAME FROM \"t.dbf\")", "\"t.dbf\")"},
  };
  for (const Case& c : cases) {
    Query q(dir_.dir());
    q.SetSql(c.sql);
    const std::size_t at = c.at.empty() ? c.sql.size() : c.sql.rfind(c.at);
    const std::string expected = S("позиция "_cp) + std::to_string(at + 1) + ":";
    try {
      if (c.sql.rfind("SELECT", 0) == 0)
        q.Open();
      else
        q.ExecSql();
      ADD_FAILURE() << c.sql;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << c.sql << "\n" << e.what();
    }
  }
  // Nesting and chains of any length end in an error, never in an exhausted stack (found by
  // fuzzing); the program's own statements stay far below the limit.
  auto repeat = [](std::string_view piece, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += piece;
    return s;
  };
  const std::string deep[] = {
      "SELECT * FROM \"t.dbf\" WHERE " + repeat("(", 100000) + "ID = 1",
      "SELECT * FROM \"t.dbf\" WHERE ID = " + repeat("- ", 100000) + "1",
      "SELECT * FROM \"t.dbf\" WHERE " + repeat("NOT ", 100000) + "ID = 1",
      "SELECT * FROM \"t.dbf\" WHERE ID = 1" + repeat(" + 1", 100000),
      "SELECT * FROM \"t.dbf\" WHERE ID = 1" + repeat(" * 1", 100000),
      "SELECT * FROM \"t.dbf\" WHERE ID = 1" + repeat(" OR ID = 1", 100000),
      "SELECT * FROM \"t.dbf\" WHERE ID IN " + repeat("(SELECT ID FROM \"t.dbf\" WHERE ID IN ", 5000) + "(1)",
  };
  for (const std::string& sql : deep) {
    Query q(dir_.dir());
    q.SetSql(sql);
    try {
      q.Open();
      ADD_FAILURE() << sql.substr(0, 60);
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find("слишком глубоко"_cp), std::string::npos) << sql.substr(0, 60) << e.what();
    }
  }
  Query nested(dir_.dir());
  nested.SetSql("SELECT * FROM \"t.dbf\" WHERE " + repeat("(", 40) + "ID = 1" + repeat(")", 40) +
                repeat(" OR ID = 2", 40));
  nested.Open();
  EXPECT_EQ(nested.RecordCount(), 2);

  Query missing(dir_.dir());
  missing.SetSql("SELECT * FROM \"nosuch.dbf\"");
  try {
    missing.Open();
    ADD_FAILURE();
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("nosuch.dbf"), std::string::npos);
  }
  Query no_directory;
  no_directory.SetSql("SELECT * FROM \"t.dbf\"");
  EXPECT_THROW(no_directory.Open(), Error);
}

}  // namespace
}  // namespace epd::sql
