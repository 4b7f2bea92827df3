#include "tables/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace epd::tables {
namespace {

// What the texts were first made with: printf's "%.15g" and "%.*f". The fast paths must write
// the very same bytes.
std::string PrintfNumber(double value) {
  if (value == 0) value = 0;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::string out;
  const char* e = std::strchr(buf, 'e');
  const std::size_t mantissa = e ? static_cast<std::size_t>(e - buf) : std::strlen(buf);
  for (std::size_t i = 0; i < mantissa; ++i) out += buf[i] == '.' ? ',' : buf[i];
  if (e) out += "E" + std::to_string(std::atoi(e + 1));
  return out;
}

std::string PrintfStored(double value, std::uint32_t width, std::uint32_t decimals) {
  if (decimals >= width) decimals = width > 1 ? width - 2 : 0;
  char buf[400];
  int n = std::snprintf(buf, sizeof buf, "%.*f", static_cast<int>(decimals), value);
  if (n <= 0 || n >= static_cast<int>(sizeof buf)) return "<refused>";
  if (buf[0] == '-' && std::strspn(buf + 1, "0.") == std::strlen(buf + 1)) std::memmove(buf, buf + 1, n--);
  if (static_cast<std::uint32_t>(n) > width) return "<refused>";
  return std::string(width - static_cast<std::uint32_t>(n), ' ') + buf;
}

std::string Stored(double value, std::uint32_t width, std::uint32_t decimals) {
  std::string out(width, '?');
  return FormatStoredNumber(value, width, decimals, out.data()) ? out : "<refused>";
}

std::vector<double> Values() {
  std::vector<double> v = {0.0,
                           -0.0,
                           1.0,
                           -1.0,
                           0.1,
                           0.2 + 0.1,
                           12.5,
                           1234.5,
                           0.0001,
                           0.00001,
                           1e-5,
                           1e14,
                           1e15,
                           1e15 - 1,
                           1e15 + 1,
                           123456789012345.0,
                           0.1 * 3,
                           2.675,
                           1.005,
                           -0.004,
                           -0.005,
                           9.995,
                           99.995,
                           1e20,
                           1.5e-7,
                           1e300,
                           -1e-300,
                           std::numeric_limits<double>::denorm_min(),
                           4.9e-310,
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::min()};
  // Money, quantities and rates as tables hold them, and numbers of every magnitude.
  std::uint64_t x = 88172645463325252ull;
  auto next = [&x] {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    return x;
  };
  for (int i = 0; i < 20000; ++i) {
    v.push_back(static_cast<double>(static_cast<std::int64_t>(next() % 100000000) - 50000000) / 100.0);
    v.push_back(static_cast<double>(next() % 10000000) / 1000.0);
    v.push_back(static_cast<double>(next() % 10000000000000000ull) / std::pow(10.0, static_cast<int>(next() % 20)));
    double d;
    const std::uint64_t bits = next();
    std::memcpy(&d, &bits, sizeof d);
    if (std::isfinite(d)) v.push_back(d);
  }
  return v;
}

TEST(NumberText, TextsAreExactlyWhatPrintfWrites) {
  for (double value : Values()) {
    ASSERT_EQ(FormatNumber(value, ','), PrintfNumber(value)) << value;
    for (auto [width, decimals] : {std::pair{12u, 2u}, {10u, 3u}, {20u, 0u}, {6u, 2u}, {30u, 15u}, {3u, 5u}})
      ASSERT_EQ(Stored(value, width, decimals), PrintfStored(value, width, decimals))
          << value << " in " << width << "." << decimals;
  }
}

}  // namespace
}  // namespace epd::tables
