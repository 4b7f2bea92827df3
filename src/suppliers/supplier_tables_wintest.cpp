// The supplier code table on Windows.
#include <gtest/gtest.h>

#include "platform/test_support.h"
#include "suppliers/supplier_tables.h"
#include "tables/table.h"

namespace epd::suppliers {
namespace {

TEST(OutputWinTest, SubstituteCodesAreStoredAndFoundAgain) {
  testing_support::TempDir dir;
  const SupplierTables tables(dir.path());
  EXPECT_FALSE(tables.IsSellerListed(5, true));
  EXPECT_EQ(tables.GetTempCode(5, "123456789"), 873187034);
  EXPECT_EQ(tables.GetTempCode(5, "123456789"), 873187034);
  auto table = tables::Table::Open(dir.path() + kCodeTableFile);
  EXPECT_EQ(table->PhysicalRecordCount(), 1u);
}

}  // namespace
}  // namespace epd::suppliers
