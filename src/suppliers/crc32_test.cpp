#include "suppliers/crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace epd::suppliers {
namespace {

std::uint32_t Crc(const std::string& text) { return Crc32Buffer(text.data(), static_cast<std::uint32_t>(text.size())); }

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc(""), 0u);
  EXPECT_EQ(Crc("a"), 0xE8B7BE43u);
  EXPECT_EQ(Crc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  EXPECT_EQ(Crc(std::string("\x00\xFF\xC0", 3)), 0xF701E6D0u);
}

TEST(Crc32Test, UpdateRunsInPiecesAndIgnoresEmptyInput) {
  const std::string text = "123456789";
  std::uint32_t crc = Crc32Update(0xFFFFFFFFu, text.data(), 4);
  crc = Crc32Update(crc, text.data() + 4, 5);
  EXPECT_EQ(~crc, 0xCBF43926u);
  EXPECT_EQ(Crc32Update(0x12345678u, nullptr, 10), 0x12345678u);
  EXPECT_EQ(Crc32Update(0x12345678u, text.data(), 0), 0x12345678u);
  EXPECT_EQ(Crc32Buffer(nullptr, 5), 0u);
}

}  // namespace
}  // namespace epd::suppliers
