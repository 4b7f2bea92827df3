// The exported functions as the host meets them, beyond what the export does.
#include <gtest/gtest.h>

#include "export/test_host.h"
#include "platform/floating_point.h"

namespace epd::exporter {
namespace {

using testing_support::BoxTexts;
using testing_support::TestHost;

// A host whose floating-point units trap on overflow, division by zero and invalid operations
// (and whose x87 unit works at 64-bit precision) gets them back as they were from every call,
// and the export works all the same.
TEST(ExportedFunctions, GiveTheHostItsFloatingPointSettingsBack) {
  const std::uint16_t x87 = platform::X87ControlWord();
  const std::uint32_t sse = platform::SseControl();
  TestHost host;
  host.CreateTables();
  host.AddInvoice(12345, {}, 3);
  platform::SetX87ControlWord(0x1332);
#if defined(__SSE__) || defined(__x86_64__)
  platform::SetSseControl(0x1900);
#endif
  const std::uint16_t host_x87 = platform::X87ControlWord();
  const std::uint32_t host_sse = platform::SseControl();
  host.Settings("");
  EXPECT_TRUE(::ExportEPD(12345, 1)) << BoxTexts(host);
  EXPECT_FALSE(::ExportNewEPD());  // switched off: returns at once
  EXPECT_EQ(platform::X87ControlWord(), host_x87);
  EXPECT_EQ(platform::SseControl(), host_sse);
  platform::SetX87ControlWord(x87);
  platform::SetSseControl(sse);
}

}  // namespace
}  // namespace epd::exporter
