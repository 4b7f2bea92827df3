#pragma once

#include <cstdint>

// Fixed-width integers in byte buffers, after LevelDB's util/coding.h. dBASE headers, field
// descriptors, dBASE memo blocks and the binary fields of levels III to 5 are little-endian;
// level 7 stores its binary integers, doubles and timestamps big-endian (so that their bytes
// sort as their values), and FoxPro memo files their block numbers and sizes. Byte by byte
// through unsigned char: any alignment, the same result on every host, and the compilers turn
// it into one load or store. `p` may be a char or an unsigned char buffer.
namespace epd::platform {

namespace coding_detail {
inline const unsigned char* Bytes(const void* p) { return static_cast<const unsigned char*>(p); }
inline unsigned char* Bytes(void* p) { return static_cast<unsigned char*>(p); }
}  // namespace coding_detail

inline std::uint16_t GetLe16(const void* p) {
  const unsigned char* b = coding_detail::Bytes(p);
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}

inline std::uint32_t GetLe32(const void* p) {
  const unsigned char* b = coding_detail::Bytes(p);
  return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
         (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

inline std::uint64_t GetLe64(const void* p) {
  const unsigned char* b = coding_detail::Bytes(p);
  return GetLe32(b) | (static_cast<std::uint64_t>(GetLe32(b + 4)) << 32);
}

inline void PutLe16(void* p, std::uint16_t v) {
  unsigned char* b = coding_detail::Bytes(p);
  b[0] = static_cast<unsigned char>(v);
  b[1] = static_cast<unsigned char>(v >> 8);
}

inline void PutLe32(void* p, std::uint32_t v) {
  unsigned char* b = coding_detail::Bytes(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
}

inline void PutLe64(void* p, std::uint64_t v) {
  unsigned char* b = coding_detail::Bytes(p);
  PutLe32(b, static_cast<std::uint32_t>(v));
  PutLe32(b + 4, static_cast<std::uint32_t>(v >> 32));
}

inline std::uint16_t GetBe16(const void* p) {
  const unsigned char* b = coding_detail::Bytes(p);
  return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
}

inline std::uint32_t GetBe32(const void* p) {
  const unsigned char* b = coding_detail::Bytes(p);
  return (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
         (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
}

inline std::uint64_t GetBe64(const void* p) {
  const unsigned char* b = coding_detail::Bytes(p);
  return (static_cast<std::uint64_t>(GetBe32(b)) << 32) | GetBe32(b + 4);
}

inline void PutBe16(void* p, std::uint16_t v) {
  unsigned char* b = coding_detail::Bytes(p);
  b[0] = static_cast<unsigned char>(v >> 8);
  b[1] = static_cast<unsigned char>(v);
}

inline void PutBe32(void* p, std::uint32_t v) {
  unsigned char* b = coding_detail::Bytes(p);
  for (int i = 0; i < 4; ++i) b[i] = static_cast<unsigned char>(v >> (8 * (3 - i)));
}

inline void PutBe64(void* p, std::uint64_t v) {
  unsigned char* b = coding_detail::Bytes(p);
  PutBe32(b, static_cast<std::uint32_t>(v >> 32));
  PutBe32(b + 4, static_cast<std::uint32_t>(v));
}

}  // namespace epd::platform
