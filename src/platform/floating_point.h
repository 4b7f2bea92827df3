#pragma once

#include <cstdint>

// The floating-point unit as the library's code expects it, for the time of one call from the
// host. A host program may set the unit to its own liking: some development systems start their
// programs with the x87 unit's exceptions unmasked (an overflow or an invalid operation then
// traps instead of giving infinity or NaN) and its precision at 64 bits, and a host may do the
// same with the SSE unit. Inside a scope every exception is masked, the x87 unit rounds to double
// precision and both round to nearest; the host's settings come back when the scope ends, with no
// exception pending that the library's own work raised. Elsewhere than on x86 processors it does
// nothing.
namespace epd::platform {

class FloatingPointScope {
 public:
  FloatingPointScope();
  ~FloatingPointScope();
  FloatingPointScope(const FloatingPointScope&) = delete;
  FloatingPointScope& operator=(const FloatingPointScope&) = delete;

  // The settings the library's code runs with.
  static constexpr std::uint16_t kX87ControlWord = 0x027F;  // all masked, 53-bit precision, nearest
  static constexpr std::uint32_t kSseControl = 0x1F80;      // all masked, nearest, no flush to zero

 private:
  std::uint16_t x87_ = 0;
  std::uint32_t sse_ = 0;
};

// The units' settings as they are now, for tests.
std::uint16_t X87ControlWord();
void SetX87ControlWord(std::uint16_t word);
std::uint32_t SseControl();
void SetSseControl(std::uint32_t control);

}  // namespace epd::platform
