#include "suppliers/supplier_tables.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/test_support.h"
#include "platform/text.h"
#include "tables/table.h"

namespace epd::suppliers {
namespace {

using testing_support::TempDir;
using testing_support::WriteFile;

struct CodeRow {
  std::int32_t idSeller;
  std::int32_t idTemp;
  std::string CnCode;
  bool operator==(const CodeRow&) const = default;
};

std::ostream& operator<<(std::ostream& out, const CodeRow& row) {
  return out << "{" << row.idSeller << ", " << row.idTemp << ", \"" << row.CnCode << "\"}";
}

class SupplierTablesTest : public ::testing::Test {
 protected:
  // The data directory has a Cyrillic name, so the statements carry 1251 paths.
  void SetUp() override { platform::MakeDirectory(data_); }
  void TearDown() override { platform::SetFaultHook(nullptr); }

  std::string CodeTable() const { return data_ + kCodeTableFile; }
  std::string SupplierList() const { return data_ + kSupplierListFile; }

  std::vector<CodeRow> CodeRows() const {
    std::vector<CodeRow> rows;
    auto table = tables::Table::Open(CodeTable());
    for (table->First(); !table->Eof(); table->Next())
      rows.push_back({table->AsInteger("idSeller"), table->AsInteger("idTemp"), table->AsString("CnCode")});
    return rows;
  }

  void AddRow(const std::string& path, std::vector<std::pair<std::string, std::string>> values) {
    auto table = tables::Table::Open(path);
    table->Append();
    for (const auto& [column, text] : values) table->SetAsString(column, text);
    table->Post();
  }

  TempDir dir_;
  const std::string data_ = dir_.path() + "Данные\\"_cp;
  const SupplierTables tables_{data_};
};

TEST(SubstituteCodeTest, IsTheMagnitudeOfTheCrcReadAsSigned) {
  EXPECT_EQ(SubstituteCodeOf("123456789"), 873187034);  // CRC 0xCBF43926
  EXPECT_EQ(SubstituteCodeOf("abc"), 891568578);        // CRC 0x352441C2, already positive
  EXPECT_EQ(SubstituteCodeOf("Код-1"_cp), 1942481979);  // over the 1251 bytes
  EXPECT_EQ(SubstituteCodeOf("CODEbXlw"), INT32_MIN);   // CRC 0x80000000
  EXPECT_EQ(SubstituteCodeOf(""), 0);
}

TEST(CodeInsertStatementTest, IsTheStatementTextExactly) {
  EXPECT_EQ(
      CodeInsertStatement("C:\\Base\\DATA\\"),
      " INSERT INTO \"C:\\Base\\DATA\\AtachList.dbf\"(idSeller,idTemp,CnCode)  VALUES(:idSeller,:idTemp,:CnCode) ");
}

TEST_F(SupplierTablesTest, ACodeIsStoredOnceAndFoundAgain) {
  ASSERT_TRUE(tables_.CreateAtachList());
  EXPECT_EQ(tables_.GetTempCode(7, "123456789"), 873187034);
  EXPECT_EQ(tables_.GetTempCode(7, "123456789"), 873187034);
  EXPECT_EQ(tables_.GetTempCode(8, "123456789"), 873187034);
  EXPECT_EQ(tables_.GetTempCode(7, "abc"), 891568578);
  EXPECT_NE(tables_.GetTempCode(7, "ABC"), 891568578);
  EXPECT_EQ(tables_.GetTempCode(7, ""), 0);
  EXPECT_EQ(tables_.GetTempCode(7, ""), 0);
  EXPECT_EQ(tables_.GetTempCode(7, "Код-1"_cp), 1942481979);
  EXPECT_EQ(CodeRows(), (std::vector<CodeRow>{{7, 873187034, "123456789"},
                                              {8, 873187034, "123456789"},
                                              {7, 891568578, "abc"},
                                              {7, SubstituteCodeOf("ABC"), "ABC"},
                                              {7, 0, ""},
                                              {7, 1942481979, "Код-1"_cp}}));
}

TEST_F(SupplierTablesTest, AStoredNumberWinsOverTheComputedOne) {
  ASSERT_TRUE(tables_.CreateAtachList());
  AddRow(CodeTable(), {{"idSeller", "7"}, {"idTemp", "-1"}, {"CnCode", "FAILED"}});
  AddRow(CodeTable(), {{"idSeller", "7"}, {"idTemp", "42"}, {"CnCode", "OLD"}});
  AddRow(CodeTable(), {{"idSeller", "7"}, {"CnCode", "BLANK"}});
  EXPECT_EQ(tables_.GetTempCode(7, "FAILED"), -1);
  EXPECT_EQ(tables_.GetTempCode(7, "OLD"), 42);
  EXPECT_EQ(tables_.GetTempCode(7, "BLANK"), 0);
  EXPECT_EQ(CodeRows().size(), 3u);
}

TEST_F(SupplierTablesTest, PairsTheTableCannotHoldAreNumberedButNotStored) {
  ASSERT_TRUE(tables_.CreateAtachList());
  // CnCode holds 13 characters and gives values back without trailing blanks, and idTemp reads
  // -2147483648 back as blank. Such codes get the number of their whole text and add no row.
  EXPECT_EQ(tables_.GetTempCode(7, "12345678901234567890"), 1872553486);
  EXPECT_EQ(tables_.GetTempCode(7, "12345678901239999999"), 1662547400);
  EXPECT_EQ(tables_.GetTempCode(7, "AB "), 2000171946);
  EXPECT_EQ(tables_.GetTempCode(7, "CODEbXlw"), INT32_MIN);  // CRC 0x80000000
  EXPECT_EQ(tables_.GetTempCode(7, "CODEbXlw"), INT32_MIN);
  EXPECT_EQ(CodeRows().size(), 0u);
  EXPECT_EQ(tables_.GetTempCode(7, "AB"), 812207111);
  EXPECT_EQ(tables_.GetTempCode(7, "1234567890123"), SubstituteCodeOf("1234567890123"));
  EXPECT_EQ(tables_.GetTempCode(7, "AB "), 2000171946);
  EXPECT_EQ(CodeRows(),
            (std::vector<CodeRow>{{7, 812207111, "AB"}, {7, SubstituteCodeOf("1234567890123"), "1234567890123"}}));
}

TEST_F(SupplierTablesTest, ARecreatedCodeTableGivesTheSameNumbers) {
  EXPECT_FALSE(tables_.IsSellerListed(7, false));
  const std::int32_t first = tables_.GetTempCode(7, "X-100");
  platform::RemoveFile(CodeTable());
  EXPECT_THROW(tables_.GetTempCode(7, "X-100"), Error);
  EXPECT_FALSE(tables_.IsSellerListed(7, false));
  EXPECT_EQ(CodeRows().size(), 0u);
  EXPECT_EQ(tables_.GetTempCode(7, "X-100"), first);
}

TEST_F(SupplierTablesTest, SwitchedOffTheListIsNotReadButTheCodeTableIsMade) {
  WriteFile(SupplierList(), "not a table");
  EXPECT_FALSE(tables_.IsSellerListed(7, false));
  EXPECT_TRUE(platform::FileExists(CodeTable()));
  EXPECT_EQ(testing_support::ReadFile(SupplierList()), "not a table");
}

TEST_F(SupplierTablesTest, AMissingListMeansNotListedAndStaysMissing) {
  EXPECT_FALSE(tables_.IsSellerListed(7, true));
  EXPECT_FALSE(platform::FileExists(SupplierList()));
  EXPECT_TRUE(platform::FileExists(CodeTable()));
}

TEST_F(SupplierTablesTest, AnyRowOfTheSupplierListsIt) {
  ASSERT_TRUE(tables_.CreateSelList(kSupplierListFile));
  AddRow(SupplierList(), {{"idSeller", "5"}, {"Seller", ""}});
  AddRow(SupplierList(), {{"idSeller", "-3"}, {"Seller", "Поставщик"_cp}});
  EXPECT_TRUE(tables_.IsSellerListed(5, true));
  EXPECT_TRUE(tables_.IsSellerListed(-3, true));
  EXPECT_FALSE(tables_.IsSellerListed(6, true));
  EXPECT_FALSE(tables_.IsSellerListed(5, false));
  EXPECT_TRUE(tables_.SellerInTable(5, kSupplierListFile));
  EXPECT_FALSE(tables_.SellerInTable(5, "Other.dbf"));
}

TEST_F(SupplierTablesTest, CreateSelListMakesTheColumnsOnlyWhenMissing) {
  ASSERT_TRUE(tables_.CreateSelList(kSupplierListFile));
  AddRow(SupplierList(), {{"IDSELLER", "1"}, {"seller", std::string(40, 'x')}});
  {
    auto table = tables::Table::Open(SupplierList());
    ASSERT_EQ(table->FieldCount(), 2);
    EXPECT_EQ(table->FieldName(0), "idSeller");
    EXPECT_EQ(table->FieldName(1), "Seller");
    table->First();
    EXPECT_EQ(table->AsString("Seller"), std::string(30, 'x'));
  }
  WriteFile(data_ + "Mine.dbf", "kept");
  EXPECT_TRUE(tables_.CreateSelList("Mine.dbf"));
  EXPECT_EQ(testing_support::ReadFile(data_ + "Mine.dbf"), "kept");
}

TEST_F(SupplierTablesTest, CreationFailuresAreReportedTheirOwnWay) {
  const SupplierTables missing(dir_.path() + "missing\\");
  EXPECT_FALSE(missing.CreateSelList(kSupplierListFile));
  EXPECT_THROW(missing.CreateAtachList(), Error);
  EXPECT_THROW(missing.IsSellerListed(7, false), Error);
}

TEST_F(SupplierTablesTest, AnUnwritableCodeTableRaisesAnErrorNamingIt) {
  ASSERT_TRUE(tables_.CreateAtachList());
  platform::SetFaultHook([](platform::FileOp op, std::string_view path, std::uint64_t, std::size_t) {
    return op == platform::FileOp::kWrite && path.ends_with("AtachList.dbf");
  });
  try {
    tables_.GetTempCode(7, "123456789");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("AtachList.dbf"), std::string::npos) << e.what();
  }
  platform::SetFaultHook(nullptr);
  EXPECT_EQ(CodeRows().size(), 0u);
  EXPECT_EQ(tables_.GetTempCode(7, "123456789"), 873187034);
}

}  // namespace
}  // namespace epd::suppliers
