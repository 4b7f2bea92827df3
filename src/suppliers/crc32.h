#pragma once

// CONTRACT: the CRC-32 (reflected, polynomial 0xEDB88320) from which substitute codes come.

#include <cstdint>

namespace epd::suppliers {

// Table-driven update over `length` bytes; a null pointer or a length of 0 returns `crc`.
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::uint32_t length);
// The CRC-32 of a buffer: Crc32Update from 0xFFFFFFFF, inverted. "123456789" gives 0xCBF43926.
std::uint32_t Crc32Buffer(const void* data, std::uint32_t length);

}  // namespace epd::suppliers
