#include "config/field_catalogue.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/codepage.h"

namespace epd::config {
namespace {

TEST(FieldCatalogueTest, PositionsKeysAndTables) {
  for (int i = 0; i < kFieldCount; ++i) {
    const CatalogueField& f = kFieldCatalogue[i];
    EXPECT_EQ(f.position, i);
    EXPECT_EQ(f.table, i < kHeaderFieldCount ? FieldTable::kHeader : FieldTable::kLine);
    EXPECT_TRUE(platform::EqualsIgnoreCase(f.key, f.editor_form)) << f.key;
    EXPECT_TRUE(platform::EqualsIgnoreCase(f.key, f.control_stem)) << f.key;
    EXPECT_EQ(platform::UpperCp1251(f.key), f.key);
  }
  EXPECT_EQ(kFieldCatalogue[36].key, "IDMSG");
  EXPECT_EQ(kFieldCatalogue[37].key, "MSGNUM");
  std::set<std::string_view> distinct;
  for (const auto& f : kFieldCatalogue) distinct.insert(f.key);
  EXPECT_EQ(distinct.size(), 71u);
}

TEST(FieldCatalogueTest, EditorRowsAndLineSaveOrderCoverEachFieldOnce) {
  std::set<int> header_rows, line_rows, order;
  for (const auto& f : HeaderFields()) header_rows.insert(f.editor_row);
  for (const auto& f : LineFields()) line_rows.insert(f.editor_row);
  for (int p : kLineEditorOrder) order.insert(p);
  EXPECT_EQ(header_rows.size(), 36u);
  EXPECT_EQ(*header_rows.rbegin(), 36);
  EXPECT_EQ(line_rows.size(), 37u);
  EXPECT_EQ(*line_rows.rbegin(), 37);
  EXPECT_EQ(order.size(), 37u);
  EXPECT_EQ(*order.begin(), 36);
  EXPECT_EQ(kFieldCatalogue[kLineEditorOrder[7]].key, "ALTCOD");
  EXPECT_EQ(kFieldCatalogue[kLineEditorOrder[18]].key, "REGPR");
}

TEST(FieldCatalogueTest, SpecialTypeLists) {
  auto gnvls = OfferedTypes(kFieldCatalogue[60].types);
  ASSERT_EQ(gnvls.size(), 6u);
  EXPECT_EQ(gnvls[4], kTypeBoolean);
  EXPECT_EQ(gnvls[5], "");
  auto altcod = OfferedTypes(kFieldCatalogue[69].types);
  EXPECT_EQ(altcod[1], kTypeString);
  EXPECT_EQ(altcod[2], kTypeInteger);
  EXPECT_EQ(kTypeNone, "\xED\xE5\xF2");
  EXPECT_EQ(PositionsOfKind(2).first, 36);
  EXPECT_EQ(PositionsOfKind(3).last, 72);
}

}  // namespace
}  // namespace epd::config
