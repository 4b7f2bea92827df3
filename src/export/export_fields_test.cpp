// The fields of an invoice through ExportEPD: the DOS coding, column widths, GNVLS, columns an
// output lacks, and substitute codes for listed suppliers.
#include <gtest/gtest.h>

#include <string>

#include "export/test_host.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/text.h"
#include "suppliers/supplier_tables.h"

namespace epd::exporter {
namespace {

using testing_support::BoxTexts;
using testing_support::Mapping;
using testing_support::Row;
using testing_support::TestHost;

constexpr int kId = 12345;

std::vector<Row> Rows(const std::string& path) { return TestHost::Rows(path); }

TEST(ExportDriver, DosCodingConvertsTextOnly) {
  for (bool dos : {false, true}) {
    SCOPED_TRACE(dos);
    TestHost host;
    host.CreateTables();
    const std::string sender = "АО «Фарм-Юг» ёЁ"_cp;
    host.AddInvoice(kId, {{"SENDER", sender}}, 1, {{"ITEMID", "Анальгин таб. 500мг №10"_cp}});
    host.Settings(dos ? "bDOScoding=1\n" : "bDOScoding=0\n");
    ASSERT_TRUE(host.Export(kId));
    auto header = Rows(host.out() + "cat_epd.dbf")[0];
    auto line = Rows(host.out() + "body_epd.dbf")[0];
    EXPECT_EQ(header["SENDER"], dos ? platform::Cp1251ToCp866(sender) : sender);
    EXPECT_EQ(line["ITEMID"],
              dos ? platform::Cp1251ToCp866("Анальгин таб. 500мг №10"_cp) : std::string("Анальгин таб. 500мг №10"_cp));
    EXPECT_EQ(header["INVDT"], "15.03.2024");
    EXPECT_EQ(header["SUMTOT"], "1234,5");
    EXPECT_EQ(line["CATPRNV"], "12,5");
  }
}

TEST(ExportDriver, TextIsCutToTheColumnWidth) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {{"SENDER", "ООО Ромашка"_cp}}, 1);
  host.Settings("", Mapping({{"SENDER", "name=SENDER\nlength=5\ntype=ftString\n"}}));
  ASSERT_TRUE(host.Export(kId));
  EXPECT_EQ(Rows(host.out() + "cat_epd.dbf")[0]["SENDER"], "ООО Р"_cp);
  EXPECT_TRUE(host.boxes.empty()) << BoxTexts(host);
}

TEST(ExportDriver, GnvlsIsWrittenAsOneOrZero) {
  struct Case {
    const char* type;
    std::string yes;
    std::string no;
  } cases[] = {{"ftString", "1", "0"}, {"ftInteger", "1", "0"}, {"ftBoolean", "True", "False"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    TestHost host;
    host.CreateTables();
    host.AddInvoice(kId, {}, 2);  // line 1 true, line 2 false
    host.Settings("", Mapping({{"GNVLS", std::string("name=GNVLS\nlength=1\ntype=") + c.type + "\n"}}));
    ASSERT_TRUE(host.Export(kId));
    auto lines = Rows(host.out() + "body_epd.dbf");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0]["GNVLS"], c.yes);
    EXPECT_EQ(lines[1]["GNVLS"], c.no);
  }
}

TEST(ExportDriver, AnOutputLackingAMappedColumnGetsTheOthers) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {}, 2);
  TestHost::Create(host.out() + "body_epd.dbf", {{"IDMSG", 'N', 11, 0}, {"ITEMID", 'C', 20, 0}});
  host.Settings("");
  ASSERT_TRUE(host.Export(kId));
  EXPECT_TRUE(host.boxes.empty()) << BoxTexts(host);
  auto lines = Rows(host.out() + "body_epd.dbf");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1]["ITEMID"], "Item 2");
  EXPECT_EQ(lines[1]["IDMSG"], "12345");
  EXPECT_EQ(Rows(host.out() + "cat_epd.dbf").size(), 1u);
}

TEST(ExportDriver, SubstituteCodesForListedSuppliers) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {{"IDSENDER", "77"}}, 0);
  TestHost::Append(host.epd() + "body_epd.dbf", {{{"IDMSG", "12345"}, {"LOCALCOD", "A-100"}},
                                                 {{"IDMSG", "12345"}, {"LOCALCOD", "A-100"}},
                                                 {{"IDMSG", "12345"}, {"LOCALCOD", "123456789"}}});
  host.AddInvoice(8, {{"IDSENDER", "78"}}, 1);
  host.Settings("[Settings]\nbchangecncode=1\n");
  ASSERT_TRUE(host.Suppliers().CreateSelList("SelList.dbf"));
  TestHost::Append(host.data() + "SelList.dbf", {{{"idSeller", "77"}, {"Seller", "Listed"}}});

  ASSERT_TRUE(host.Export(kId)) << BoxTexts(host);
  ASSERT_TRUE(host.Export(8)) << BoxTexts(host);
  auto lines = Rows(host.out() + "body_epd.dbf");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["LOCALCOD"], std::to_string(suppliers::SubstituteCodeOf("A-100")));
  EXPECT_EQ(lines[1]["LOCALCOD"], lines[0]["LOCALCOD"]);
  EXPECT_EQ(lines[2]["LOCALCOD"], "873187034");
  EXPECT_EQ(lines[3]["LOCALCOD"], "C1");  // supplier 78 is not listed
  EXPECT_TRUE(host.boxes.empty()) << BoxTexts(host);
}

TEST(ExportDriver, AStoredSubstituteOfMinusOneIsReportedAndLeftBlank) {
  TestHost host;
  host.CreateTables();
  host.AddInvoice(kId, {{"IDSENDER", "77"}, {"SENDER", "Фармация"_cp}}, 2);
  host.Settings("[Settings]\nbchangecncode=1\n");
  ASSERT_TRUE(host.Suppliers().CreateSelList("SelList.dbf"));
  TestHost::Append(host.data() + "SelList.dbf", {{{"idSeller", "77"}, {"Seller", "Listed"}}});
  ASSERT_TRUE(host.Suppliers().CreateAtachList());
  TestHost::Append(host.data() + "AtachList.dbf", {{{"idSeller", "77"}, {"idTemp", "-1"}, {"CnCode", "C1"}}});

  ASSERT_TRUE(host.Export(kId));
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0].text, "Ошибка генерации кода замены для поставщика Фармация для кода C1"_cp);
  auto lines = Rows(host.out() + "body_epd.dbf");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0]["LOCALCOD"], "");
  EXPECT_EQ(lines[0]["ITEMID"], "Item 1");
  EXPECT_EQ(lines[1]["LOCALCOD"], std::to_string(suppliers::SubstituteCodeOf("C2")));
  EXPECT_EQ(host.Delivered(kId), "1");
}

}  // namespace
}  // namespace epd::exporter
