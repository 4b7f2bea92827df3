#include "platform/coding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace epd::platform {
namespace {

std::string Hex(const unsigned char* p, std::size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    out += digits[p[i] >> 4];
    out += digits[p[i] & 15];
  }
  return out;
}

// Known bytes both ways, at an odd offset of a char buffer (no alignment is assumed), with the
// bytes around the value untouched; values with the top bit set catch a sign extension.
TEST(CodingTest, FixedWidthIntegersInBothByteOrders) {
  struct Case {
    const char* name;
    std::size_t width;
    std::uint64_t value;
    const char* bytes;
  };
  const Case cases[] = {
      {"le16", 2, 0xFE01, "01FE"},
      {"le32", 4, 0x80FF0201u, "0102FF80"},
      {"le64", 8, 0x8877665544332211ull, "1122334455667788"},
      {"be16", 2, 0xFE01, "FE01"},
      {"be32", 4, 0x80FF0201u, "80FF0201"},
      {"be64", 8, 0x8877665544332211ull, "8877665544332211"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string kind = c.name;
    char buffer[12];
    std::memset(buffer, 0x5A, sizeof buffer);
    char* at = buffer + 1;
    if (kind == "le16") PutLe16(at, static_cast<std::uint16_t>(c.value));
    if (kind == "le32") PutLe32(at, static_cast<std::uint32_t>(c.value));
    if (kind == "le64") PutLe64(at, c.value);
    if (kind == "be16") PutBe16(at, static_cast<std::uint16_t>(c.value));
    if (kind == "be32") PutBe32(at, static_cast<std::uint32_t>(c.value));
    if (kind == "be64") PutBe64(at, c.value);
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer);
    EXPECT_EQ(Hex(bytes + 1, c.width), c.bytes);
    EXPECT_EQ(bytes[0], 0x5A);
    EXPECT_EQ(bytes[1 + c.width], 0x5A);
    std::uint64_t back = 0;
    if (kind == "le16") back = GetLe16(at);
    if (kind == "le32") back = GetLe32(at);
    if (kind == "le64") back = GetLe64(at);
    if (kind == "be16") back = GetBe16(at);
    if (kind == "be32") back = GetBe32(at);
    if (kind == "be64") back = GetBe64(at);
    EXPECT_EQ(back, c.value);
    // The same through an unsigned char buffer.
    if (kind == "le32") {
      EXPECT_EQ(GetLe32(bytes + 1), c.value);
    }
  }
}

}  // namespace
}  // namespace epd::platform
