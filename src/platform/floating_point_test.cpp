#include "platform/floating_point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace epd::platform {
namespace {

// A host that wants overflow, division by zero and invalid operations to trap, with the x87
// unit at 64-bit precision (as some development systems start their programs), and the same
// exceptions unmasked in the SSE unit.
constexpr std::uint16_t kHostX87 = 0x1332;
constexpr std::uint32_t kHostSse = 0x1900;

class FloatingPointScopeTest : public ::testing::Test {
 protected:
  FloatingPointScopeTest() : x87_(X87ControlWord()), sse_(SseControl()) {}
  ~FloatingPointScopeTest() override {
    SetX87ControlWord(x87_);
    SetSseControl(sse_);
  }

 private:
  std::uint16_t x87_;
  std::uint32_t sse_;
};

#if defined(__i386__) || defined(__x86_64__)
TEST_F(FloatingPointScopeTest, TheLibraryRunsMaskedAndTheHostGetsItsSettingsBack) {
  SetX87ControlWord(kHostX87);
#if defined(__SSE__) || defined(__x86_64__)
  SetSseControl(kHostSse);
#endif
  const std::uint16_t host_x87 = X87ControlWord();  // as the unit keeps it (a reserved bit reads 1)
  {
    FloatingPointScope scope;
    EXPECT_EQ(X87ControlWord(), FloatingPointScope::kX87ControlWord);
#if defined(__SSE__) || defined(__x86_64__)
    EXPECT_EQ(SseControl(), FloatingPointScope::kSseControl);
#endif
    // What would trap with the host's settings gives infinity and NaN here, in both units.
    volatile double big = std::numeric_limits<double>::max();
    volatile double zero = 0;
    EXPECT_TRUE(std::isinf(big * 10));
    EXPECT_TRUE(std::isnan(zero / zero));
    volatile long double wide = std::numeric_limits<long double>::max();
    EXPECT_TRUE(std::isinf(static_cast<double>(wide * 10)));  // leaves the x87 overflow flag set
  }
  EXPECT_EQ(host_x87 & ~0x40, kHostX87);
  EXPECT_EQ(X87ControlWord(), host_x87);
#if defined(__SSE__) || defined(__x86_64__)
  EXPECT_EQ(SseControl(), kHostSse);
#endif
  // No exception of the scope's work is left pending: with the host's word unmasked, the next
  // x87 instruction would trap on it.
  std::uint16_t status = 0;
  asm volatile("fnstsw %0" : "=m"(status));
  EXPECT_EQ(status & 0x3F, 0);
  volatile long double one = 1;
  EXPECT_EQ(static_cast<double>(one + one), 2.0);
}
#endif

}  // namespace
}  // namespace epd::platform
