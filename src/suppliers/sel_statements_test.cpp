#include "suppliers/sel_statements.h"

#include <gtest/gtest.h>

namespace epd::suppliers {
namespace {

TEST(SelStatementsTest, TextsOfTheSixStatements) {
  SelPlaces at{"C:\\Host\\DATA\\", "C:\\Host\\", "SelList.dbf"};
  EXPECT_EQ(ListStatement(at), " SELECT * FROM \"C:\\Host\\DATA\\SelList.dbf\" ORDER BY Seller ");
  EXPECT_EQ(ChoiceStatement(at),
            " SELECT *  FROM \"C:\\Host\\Price\\Sellers.dbf\"  WHERE not idSeller in "
            "     ( SELECT idSeller FROM \"C:\\Host\\DATA\\SelList.dbf\")  ORDER BY Seller ");
  EXPECT_EQ(AddStatement(at),
            " INSERT INTO \"C:\\Host\\DATA\\SelList.dbf\"(idSeller,Seller)  VALUES(:idSeller,:Seller) ");
  EXPECT_EQ(RemoveStatement(at), "DELETE FROM \"C:\\Host\\DATA\\SelList.dbf\" WHERE idSeller=:idSeller ");
  // The search text is a parameter, in the place where it would otherwise stand between apostrophes.
  EXPECT_EQ(
      ListSearchStatement(at),
      " SELECT * FROM \"C:\\Host\\DATA\\SelList.dbf\" WHERE Upper(Seller) LIKE :Pattern ESCAPE '\\'  ORDER BY Seller ");
  EXPECT_EQ(ChoiceSearchStatement(at),
            " SELECT *  FROM \"C:\\Host\\Price\\Sellers.dbf\"  WHERE UPPER(Seller) LIKE :Pattern ESCAPE '\\' AND (not "
            "idSeller in "
            "     ( SELECT idSeller FROM \"C:\\Host\\DATA\\SelList.dbf\"))  ORDER BY Seller ");
  EXPECT_EQ(SearchPattern(""), "%%");
  EXPECT_EQ(SearchPattern("A\"B"), "%A\"B%");
  EXPECT_EQ(SearchPattern("5%_\\'"), "%5\\%\\_\\\\'%");
}

}  // namespace
}  // namespace epd::suppliers
