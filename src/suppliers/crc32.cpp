#include "suppliers/crc32.h"

#include <array>

namespace epd::suppliers {
namespace {

// The table of the reflected CRC-32 (IEEE 802.3), computed by the compiler: it is part of the
// loaded image and never changes afterwards.
constexpr std::array<std::uint32_t, 256> MakeTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kTable = MakeTable();

}  // namespace

std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::uint32_t length) {
  if (data == nullptr) return crc;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (std::uint32_t i = 0; i < length; ++i) crc = kTable[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint32_t Crc32Buffer(const void* data, std::uint32_t length) { return ~Crc32Update(0xFFFFFFFFu, data, length); }

}  // namespace epd::suppliers
