#include "tables/name_index.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

using epd::operator""_cp;

namespace epd::tables {
namespace {

TEST(NameIndex, FindsNamesIgnoringCaseAndTheFirstOfEqualNames) {
  std::vector<std::string> names = {"IDMSG", "idSender", std::string("Ёмкость"_cp), "IdMsg", "Name", "DLVCHN"};
  for (int i = 0; i < 40; ++i) names.push_back("F" + std::to_string(i));
  auto at = [&names](std::size_t i) { return std::string_view(names[i]); };
  NameIndex index;
  index.Build(names.size(), at);
  EXPECT_EQ(index.Find("idmsg", names.size(), at), 0);
  EXPECT_EQ(index.Find("IDSENDER", names.size(), at), 1);
  EXPECT_EQ(index.Find("ёМКОСТЬ"_cp, names.size(), at), 2);
  EXPECT_EQ(index.Find("f39", names.size(), at), 45);
  EXPECT_EQ(index.Find("IDMS", names.size(), at), -1);
  EXPECT_EQ(index.Find("", names.size(), at), -1);
  // A list that has grown since the index was built is searched name by name.
  names.push_back("LATE");
  EXPECT_EQ(index.Find("late", names.size(), at), 46);
}

}  // namespace
}  // namespace epd::tables
