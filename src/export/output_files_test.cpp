#include "export/output_files.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace epd::exporter {
namespace {

TEST(OutputFiles, NamesFollowTheModes) {
  struct Case {
    std::int32_t id;
    bool single;
    bool many;
    int charlength;
    const char* header;
    const char* line;
  } cases[] = {
      {12345, true, true, 8, "12345.dbf", "12345.dbf"},
      {12345, true, true, 5, "12345.dbf", "12345.dbf"},
      {12345, true, true, 3, "345.dbf", "345.dbf"},
      {12345, true, true, 0, ".dbf", ".dbf"},
      {-12345, true, true, 8, "-12345.dbf", "-12345.dbf"},
      {-12345, true, true, 5, "12345.dbf", "12345.dbf"},
      {12345, true, false, 3, "Nakl.dbf", "Nakl.dbf"},
      {-5, false, true, 3, "h-5.dbf", "b-5.dbf"},
      {12345, false, false, 3, "cat_epd.dbf", "body_epd.dbf"},
  };
  for (const Case& c : cases) {
    OutputNames names = OutputFileNames(c.id, c.single, c.many, static_cast<std::uint8_t>(c.charlength));
    EXPECT_EQ(names.header, c.header) << c.id << " " << c.charlength;
    EXPECT_EQ(names.line, c.line) << c.id << " " << c.charlength;
  }
}

TEST(OutputFiles, OnlyPlainFolderNames) {
  for (std::string good : {std::string("77"), std::string("-5"), std::string("Фарм"_cp), std::string("..a"),
                           std::string("CONS"), std::string("COM0")})
    EXPECT_TRUE(IsPlainFolderName(good)) << good;
  for (const char* bad : {"",     ".",   "..",  "a\\b",  "a/b",  "C:",   "\\\\srv", "a*",  "a?",  "a\"b", "<a>", "a|b",
                          "a\tb", "CON", "nul", "Aux.1", "COM1", "lpt9", "...",     ". .", ".. ", "77.",  "77 "})
    EXPECT_FALSE(IsPlainFolderName(bad)) << bad;
}

TEST(OutputFiles, OnlyPlainColumnNames) {
  for (std::string good : {std::string("IDMSG"), std::string("id_msg2"), std::string("Номер"_cp), std::string("_N")})
    EXPECT_TRUE(IsPlainColumnName(good)) << good;
  for (const char* bad : {"", "1ID", "ID MSG", "0=0 OR 1", "N-1", "X\"Y", "A;B", "A'", "\xAB"})
    EXPECT_FALSE(IsPlainColumnName(bad)) << bad;
}

}  // namespace
}  // namespace epd::exporter
